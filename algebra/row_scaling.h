// Power-of-two row scaling, for cofactor expansions that leave float's range.
//
// Multiplying row i by 2^-e_i changes no rounding while every value stays
// normal: every term of every minor in the expansion is the unscaled term
// times the same power of two (a minor's rows fix it), so the rounded sums and
// products come out as the unscaled ones scaled exactly, and so do the
// reciprocal of the determinant and the cofactors times it. Scaled so, a row's
// largest magnitude lies in [0.5, 1), and no minor up to 26 x 26 can overflow
// (Hadamard's bound); where the unscaled expansion overflows or underflows on
// its way to an answer in range, the scaled one does not.
#pragma once

#include <vector>

#include "matrix/matrix.h"

namespace quolvend {

struct RowScaled {
  Matrix matrix;               // row i of the original times 2^-exponents[i]
  std::vector<int> exponents;  // frexp's exponent of row i's largest magnitude; 0 for zeros
  int total = 0;               // their sum: the determinant's scale
};

// Whether every element of m is finite: only then does scaling mean anything.
bool all_finite(const Matrix& m);

// The row-scaled copy of m, whose elements are exact unless they fall below
// the normal range, where they round as any float operation does.
RowScaled scale_rows(const Matrix& m);

}  // namespace quolvend
