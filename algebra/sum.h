// Element-wise sum and difference.
#pragma once

#include <optional>

#include "kernels/compute.h"
#include "matrix/matrix.h"

namespace quolvend {

// Returns a + b, element by element, as a new matrix. If the sizes differ,
// writes "Matrices must be the same size" and returns nothing.
std::optional<Matrix> matrix_add(const Matrix& a, const Matrix& b, const Compute& compute);

// Returns a - b, element by element, as a new matrix; sizes as for matrix_add.
std::optional<Matrix> matrix_subtract(const Matrix& a, const Matrix& b, const Compute& compute);

}  // namespace quolvend
