// Logs of what a run of conversions makes of a text, for comparing the fast
// reader with the plain one.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "matrix/input.h"

namespace quolvend::testing {

enum class Kind { count, floating, integer };

// Runs `steps` conversions of the given kinds (cycling through them), and
// after each mismatch discards a token, as the matrix reader does. Returns one
// word per step: the value (floats in %a form, every NaN as "nan"), "skip",
// or a final "end".
std::string fast_trace(const std::string& text, const std::vector<Kind>& kinds, int steps,
                       std::size_t capacity = kInputCapacity);

// The same with the plain reader (whole tokens through strtoul, strtof, strtol).
std::string plain_trace(const std::string& text, const std::vector<Kind>& kinds, int steps);

}  // namespace quolvend::testing
