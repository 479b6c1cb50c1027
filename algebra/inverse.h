// Inverse, scaling and division.
#pragma once

#include <cstdint>
#include <optional>

#include "kernels/compute.h"
#include "matrix/matrix.h"

namespace quolvend {

// Multiplies every element of m by factor, in place.
void matrix_scale(Matrix& m, float factor);

// Returns the inverse of m as a new matrix: the adjugate (each cofactor the
// determinant of its minor, as matrix_determinant computes it, its sign bit
// flipped where i + j is odd, stored transposed) times the single-precision
// reciprocal of m's determinant; past kCofactorLimit (lu.h) rows, the LU
// factorisation's inverse, rounded once, and singular means a zero pivot
// column. Where the expansion leaves float's range in a matrix of finite
// elements (range.h), the inverse of the equilibrated matrix (the same order,
// or the LU in double where that leaves the range too) stands, scaled back,
// unless it finds the matrix singular. The adjugate of a 1 x 1 matrix is [1].
// Ends the process with "Matrix must be Square" if m is not square, and with
// "Matrix not Invertable" and an empty line if the determinant that stands is
// zero.
Matrix matrix_inverse(const Matrix& m, const Compute& compute);

// Returns a x inverse(b) as a new matrix. b is inverted first, so its failures
// end the process before a's size is looked at; if the sizes then do not fit,
// writes the product's size message and returns nothing. Where b's inverse
// comes from the second run, a (its columns scaled) is multiplied by the
// equilibrated inverse in double and the quotient scaled back, rounded once,
// so that a quotient in range keeps its digits.
std::optional<Matrix> matrix_divide(const Matrix& a, const Matrix& b, const Compute& compute);

// The work matrix_inverse(m) and matrix_divide(a, b) take, in the units they
// report as progress.
std::uint64_t inverse_work(const Matrix& m);
std::uint64_t divide_work(const Matrix& a, const Matrix& b);

}  // namespace quolvend
