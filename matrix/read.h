// Reading one matrix from a text stream.
#pragma once

#include "kernels/compute.h"
#include "matrix/input.h"
#include "matrix/matrix.h"

namespace quolvend {

// Reads the row count, the column count and then the elements row by row, and
// returns the new matrix. A token that does not convert is discarded and the
// read repeated. With `prompts`, each value is asked for with a prompt, and a
// discarded token is answered with a retry prompt. Ends the process with
// "Unexpected end of input: " and what ended where (in.name, "the second
// operand", and "ends before the row count" or "holds 3 of the 9 values of a
// 3 x 3 matrix") when the stream ends before a value. Whatever
// follows the last element is left unread, unless `in` owns its descriptor:
// then nothing else reads it, and a large matrix's text is read ahead and
// converted in parallel.
Matrix matrix_read(Input& in, bool prompts, const Compute& compute);

// matrix_read in two steps, for callers that make the matrix themselves:
// the counts, then the elements of a matrix just made with them.
struct Shape {
  std::uint32_t rows = 0;
  std::uint32_t cols = 0;
};
Shape read_shape(Input& in, bool prompts);
void read_elements(Input& in, Matrix& m, bool prompts, const Compute& compute);

}  // namespace quolvend
