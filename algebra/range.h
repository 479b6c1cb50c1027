// When the cofactor expansion leaves float's range, and the powers of two that
// bring a matrix back into it.
//
// An expansion has left the range when any of its operations overflowed,
// underflowed with a loss of digits or was invalid, whatever its final values:
// the processor's status flags record exactly that, at no cost to the
// kernels, and parallel_for carries each worker's flags back to the thread
// that watches them.
//
// Multiplying row i by 2^-r_i and column j by 2^-c_j changes no rounding while
// every value stays normal: every term of every minor is the unscaled term
// times the powers of its rows and columns, so the expansion's sums and
// products come out as the unscaled ones scaled exactly, and so do the
// reciprocal of the determinant and the cofactors times it. Scaled so that
// every row's and every column's largest magnitude lies in [0.5, 1), no minor
// up to 26 x 26 can overflow (Hadamard's bound), and a scale that lives in the
// rows or in the columns is gone.
#pragma once

#include <vector>

#include "matrix/matrix.h"

namespace quolvend {

// Watches the floating-point status flags of the steps that follow: clears
// them when made.
class RangeWatch {
 public:
  RangeWatch();
  // Whether a step since then overflowed, underflowed with a loss of digits,
  // or was invalid.
  bool left() const;
};

// The rule for every expansion: its results stand unless it left the range
// (`watch` saw it) in a matrix of finite elements; then it runs again on the
// equilibrated matrix. A matrix holding inf or NaN is never rescaled.
bool second_run_fires(const Matrix& m, const RangeWatch& watch);

// m with every row and then every column scaled by a power of two, as LAPACK's
// xGEEQUB does: row[i] is frexp's exponent of row i's largest magnitude,
// col[j] that of column j's largest once the rows are scaled (worked out in
// integers from m), 0 for a row or column of zeros.
struct Equilibrated {
  Matrix matrix;  // element (i, j) of m times 2^-(row[i] + col[j])
  std::vector<int> row;
  std::vector<int> col;
  // The determinant's scale: det(m) = det(matrix) x 2^(sum of row and col).
  int scale() const;
};

// The equilibrated copy of m, whose elements are exact unless they fall below
// the normal range (2^126 times smaller than their row's and their column's
// largest), where they round once.
Equilibrated equilibrate(const Matrix& m);

// frexp's exponent of x, which is finite and not zero.
int exponent_of(float x);

}  // namespace quolvend
