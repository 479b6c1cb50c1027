// The matrix product.
#pragma once

#include <cstdint>
#include <optional>

#include "kernels/compute.h"
#include "matrix/matrix.h"

namespace quolvend {

// Returns a x b as a new matrix. Every element (r, c) is accumulated from +0.0
// for k ascending, each a(r, k) * b(k, c) rounded to single precision and then
// added with one more rounding, so the result does not depend on how the work
// is blocked. If a.cols != b.rows, writes the two-line size message and
// returns nothing.
std::optional<Matrix> matrix_multiply(const Matrix& a, const Matrix& b, const Compute& compute);

// The multiply-adds a x b takes, for progress reports.
std::uint64_t multiply_work(const Matrix& a, const Matrix& b);

}  // namespace quolvend
