// Leaving out one row and one column.
#pragma once

#include <cstdint>

#include "kernels/compute.h"
#include "matrix/matrix.h"

namespace quolvend {

// Returns a new (rows - 1) x (cols - 1) matrix: m without row `row` and column
// `col`, the other elements keeping their order. Requires 0 <= row < m.rows
// and 0 <= col < m.cols.
Matrix matrix_cut(const Matrix& m, std::uint32_t row, std::uint32_t col, const Compute& compute);

}  // namespace quolvend
