// The determinant.
#pragma once

#include <cstdint>

#include "kernels/compute.h"
#include "matrix/matrix.h"

namespace quolvend {

// Returns the determinant of m by cofactor expansion along the first row,
// recursively, in single precision: the sum starts at +0.0 and adds, column by
// column in increasing order, minor determinant x (sign x element), every term
// even for a zero element; a 2 x 2 minor uses m00 * m11 - m10 * m01, and a
// 0 x 0 matrix has determinant 0. Where that order leaves float's range in a
// matrix of finite elements (range.h), it runs again on the equilibrated
// matrix, or where that leaves the range too, the LU in double does; that
// value, scaled back by the exact power of two and rounded once, stands
// unless it finds the matrix singular, so inf or 0 only where the true value
// is beyond float. Past kCofactorLimit (lu.h) rows, the LU factorisation gives
// it instead. Ends the process with "Matrix must be square" if m is not square.
float matrix_determinant(const Matrix& m, const Compute& compute);

// The determinant of the square matrix m, at most kCofactorLimit rows, in the
// expansion's order alone, with no second run.
float expansion_determinant(const Matrix& m, const Compute& compute);

// The work matrix_determinant(m) takes, in the units it reports as progress;
// 0 when there is nothing worth showing.
std::uint64_t determinant_work(const Matrix& m);

}  // namespace quolvend
