// The bulk reader: every number of a stretch of text in memory at once.
#pragma once

#include <cstddef>

#include "kernels/instruction_set.h"

namespace quolvend {

// Converts up to `most` numbers of the text [p, end) into out, as scan_float
// repeated over it would, with skip_token after each mismatch. The text ends
// at white space, or where the stream ends, and kInputPadding readable bytes
// follow `end` (input.h): it holds no number longer than its buffer. Returns
// where the conversions stopped, right after the last number taken or at
// `end`, and how many numbers they took. Runs the build for `kernels`.
struct Converted {
  const char* stop;
  std::size_t count;
};
Converted convert_numbers(const char* p, const char* end, float* out, std::size_t most,
                          InstructionSet kernels);

}  // namespace quolvend
