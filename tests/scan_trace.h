// Logs of what a run of conversions makes of a text, for comparing the fast
// reader with the plain one.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "matrix/scan.h"

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

// Every float of the text, as the plain reader finds them (skipping tokens
// that start none), one word each as in the traces.
std::string plain_floats(const std::string& text);

// The same number of floats read as a matrix's elements, in bulk, from a file
// with that text, with a buffer of `capacity` bytes and `threads` threads.
std::string bulk_floats(const std::string& text, std::size_t count, std::size_t capacity,
                        unsigned threads);

}  // namespace quolvend::testing
