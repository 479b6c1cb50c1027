#include "algebra/inverse.h"

#include <cmath>

#include "algebra/determinant.h"
#include "algebra/lu.h"
#include "algebra/minor_table.h"
#include "algebra/product.h"
#include "algebra/row_scaling.h"
#include "process/exits.h"
#include "process/progress.h"

namespace quolvend {

void matrix_scale(Matrix& m, float factor) {
  float* element = m.storage.get();
  for (std::size_t i = 0, n = matrix_size(m); i < n; ++i) element[i] = element[i] * factor;
}

namespace {

// Writes the transposed cofactors of m (at least 1 x 1, at most
// kCofactorLimit) times the single-precision reciprocal of `det` into
// `inverse`. Returns whether every cofactor is finite.
bool adjugate_times_reciprocal(const Matrix& m, float det, Matrix& inverse,
                               const Compute& compute) {
  const std::uint32_t n = m.rows;
  bool finite = true;
  if (n == 1) {
    // The cofactor of a 1 x 1 matrix is the empty product, 1, so the inverse
    // of [x] is [1/x] (the 0 x 0 determinant, 0, would make it [0]).
    inverse.data[0][0] = 1.0f;
  } else {
    Matrix minors = matrix_create(n, n);
    if (n == 2) {
      for (std::uint32_t i = 0; i < 2; ++i) {
        for (std::uint32_t j = 0; j < 2; ++j) minors.data[i][j] = m.data[1 - i][1 - j];
      }
    } else {
      expand_minors(m, minors, compute);
    }
    // Flipping the sign bit (not 0 - c) keeps a zero cofactor's sign exact.
    for (std::uint32_t i = 0; i < n; ++i) {
      for (std::uint32_t j = 0; j < n; ++j) {
        float c = minors.data[i][j];
        finite = finite && std::isfinite(c);
        inverse.data[j][i] = (i + j) % 2 == 1 ? -c : c;
      }
    }
  }
  matrix_scale(inverse, 1.0f / det);
  return finite;
}

// The same on the row-scaled copy of m, when its determinant is a normal
// number: then the results are scaled back (element (r, c) times 2^-e_c, the
// exact power of two, rounded once) into `inverse`, and it returns true.
// Otherwise it leaves `inverse` as it is and returns false.
bool invert_row_scaled(const Matrix& m, Matrix& inverse, const Compute& compute) {
  progress_repeat();
  const RowScaled s = scale_rows(m);
  const float det = expansion_determinant(s.matrix, compute);
  if (!std::isnormal(det)) return false;
  adjugate_times_reciprocal(s.matrix, det, inverse, compute);
  for (std::uint32_t r = 0; r < m.rows; ++r) {
    for (std::uint32_t c = 0; c < m.cols; ++c) {
      inverse.data[r][c] = std::ldexp(inverse.data[r][c], -s.exponents[c]);
    }
  }
  return true;
}

}  // namespace

Matrix matrix_inverse(const Matrix& m, const Compute& compute) {
  if (m.rows != m.cols) die("Matrix must be Square");
  const std::uint32_t n = m.rows;
  Matrix inverse = matrix_create(n, n);
  if (takes_lu_path(n)) {
    if (!lu_invert(m, inverse, compute)) die("Matrix not Invertable\n");
    return inverse;
  }
  // A matrix too large for the cofactor tables fails now, not after its
  // determinant has been worked out.
  require_minor_tables(n);
  // The expansion's own order stands unless it leaves float's range (the
  // determinant is not a normal number, or a cofactor is infinite or NaN) in
  // a matrix of finite elements; then the row-scaled order stands where its
  // determinant is a normal number.
  const float det = expansion_determinant(m, compute);
  if (std::isnormal(det)) {
    if (!adjugate_times_reciprocal(m, det, inverse, compute) && all_finite(m)) {
      invert_row_scaled(m, inverse, compute);
    }
    return inverse;
  }
  if (all_finite(m) && invert_row_scaled(m, inverse, compute)) return inverse;
  if (det == 0.0f) die("Matrix not Invertable\n");
  adjugate_times_reciprocal(m, det, inverse, compute);
  return inverse;
}

std::optional<Matrix> matrix_divide(const Matrix& a, const Matrix& b, const Compute& compute) {
  Matrix divisor = matrix_inverse(b, compute);
  return matrix_multiply(a, divisor, compute);
}

std::uint64_t inverse_work(const Matrix& m) {
  if (m.rows != m.cols) return 0;
  if (takes_lu_path(m.rows)) return lu_work(m.rows, true);
  return minor_table_work(m.rows, false) + minor_table_work(m.rows, true);
}

std::uint64_t divide_work(const Matrix& a, const Matrix& b) {
  return inverse_work(b) + multiply_work(a, b);
}

}  // namespace quolvend
