#include "algebra/inverse.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "algebra/determinant.h"
#include "algebra/lu.h"
#include "algebra/minor_table.h"
#include "algebra/product.h"
#include "algebra/range.h"
#include "process/exits.h"
#include "process/parallel.h"
#include "process/progress.h"

namespace quolvend {

void matrix_scale(Matrix& m, float factor) {
  float* element = m.storage.get();
  for (std::size_t i = 0, n = matrix_size(m); i < n; ++i) element[i] = element[i] * factor;
}

namespace {

// The transposed cofactors of m (at least 1 x 1, at most kCofactorLimit) times
// the single-precision reciprocal of `det`.
Matrix adjugate_times_reciprocal(const Matrix& m, float det, const Compute& compute) {
  const std::uint32_t n = m.rows;
  Matrix inverse = matrix_create(n, n);
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
        const float c = minors.data[i][j];
        inverse.data[j][i] = (i + j) % 2 == 1 ? -c : c;
      }
    }
  }
  matrix_scale(inverse, 1.0f / det);
  return inverse;
}

// The inverse of the equilibrated matrix e: the expansion's order where it
// stays in range, else the LU in double, rounded once; nothing where e is
// singular in the one that answers.
std::optional<Matrix> invert_equilibrated(const Matrix& e, const Compute& compute) {
  const RangeWatch watch;
  const float det = expansion_determinant(e, compute);
  if (!watch.left()) {
    if (det == 0.0f) return std::nullopt;
    Matrix inverse = adjugate_times_reciprocal(e, det, compute);
    if (!watch.left()) return inverse;
  }
  Matrix inverse = matrix_create(e.rows, e.cols);
  const bool invertible = lu_invert(e, inverse, compute);
  progress_complete();
  if (!invertible) return std::nullopt;
  return inverse;
}

// The inverse of m is values(i, j) x 2^-(col[i] + row[j]) where `rescaled`;
// values itself otherwise.
struct ScaledInverse {
  Matrix values;
  bool rescaled = false;
  std::vector<int> row;
  std::vector<int> col;
};

ScaledInverse as_it_is(Matrix inverse) { return {std::move(inverse), false, {}, {}}; }

// The inverse of m (square, at most kCofactorLimit rows) in the expansion's
// order; where that leaves the range (range.h), the second run's, unless it
// finds m singular. Ends the process with "Matrix not Invertable" and an
// empty line where the determinant that stands is zero.
ScaledInverse invert(const Matrix& m, const Compute& compute) {
  // A matrix too large for the cofactor tables fails now, not after its
  // determinant has been worked out.
  require_minor_tables(m.rows);
  const RangeWatch watch;
  const float det = expansion_determinant(m, compute);
  std::optional<Matrix> first;
  // The adjugate waits while the determinant alone already calls for the
  // second run, whose singular verdict alone would need it.
  if (!second_run_fires(m, watch)) {
    if (det == 0.0f) die("Matrix not Invertable\n");
    first = adjugate_times_reciprocal(m, det, compute);
    if (!second_run_fires(m, watch)) return as_it_is(std::move(*first));
  }
  progress_repeat();
  Equilibrated e = equilibrate(m);
  if (std::optional<Matrix> scaled = invert_equilibrated(e.matrix, compute)) {
    return {std::move(*scaled), true, std::move(e.row), std::move(e.col)};
  }
  // Singular in the second run: the first run's results stand.
  if (det == 0.0f) die("Matrix not Invertable\n");
  if (!first) first = adjugate_times_reciprocal(m, det, compute);
  progress_complete();
  return as_it_is(std::move(*first));
}

// What one thread gets through of divide_rescaled's multiply-adds a
// nanosecond.
constexpr Rate kQuotientRate{2, 1};

// a x b^-1 with b^-1 = C S R (C and R the equilibration's powers of two on
// b's columns and rows, S the inverse it gives): each quotient element is the
// sum of (a C)(i, k) S(k, j) for k ascending, in double, where a's elements
// times powers of two and their products with floats are exact, then times
// 2^-row[j], rounded once. So a quotient in range keeps its digits even where
// b's inverse alone lies beyond float. Rows are shared out over the threads.
Matrix divide_rescaled(const Matrix& a, const ScaledInverse& inverse, const Compute& compute) {
  const std::size_t rows = a.rows, n = a.cols;
  Matrix quotient = matrix_create(a.rows, a.cols);
  const std::size_t parts = split_parts(compute.threads, std::uint64_t{rows} * n * n, kQuotientRate,
                                        std::max<std::size_t>(rows, 1));
  parallel_for(
      parts,
      [&](std::size_t part) {
        const std::size_t first = split_point(rows, parts, part);
        const std::size_t last = split_point(rows, parts, part + 1);
        std::vector<double> sum(n);
        for (std::size_t i = first; i < last; ++i) {
          std::fill(sum.begin(), sum.end(), 0.0);
          for (std::size_t k = 0; k < n; ++k) {
            const double element = std::ldexp(double{a.data[i][k]}, -inverse.col[k]);
            const float* s = inverse.values.data[k];
            for (std::size_t j = 0; j < n; ++j) sum[j] = sum[j] + element * s[j];
          }
          for (std::size_t j = 0; j < n; ++j)
            quotient.data[i][j] = static_cast<float>(std::ldexp(sum[j], -inverse.row[j]));
        }
        progress_add(std::uint64_t{last - first} * n * n);
      },
      parts);
  return quotient;
}

}  // namespace

Matrix matrix_inverse(const Matrix& m, const Compute& compute) {
  if (m.rows != m.cols) die("Matrix must be Square");
  if (takes_lu_path(m.rows)) {
    Matrix inverse = matrix_create(m.rows, m.cols);
    if (!lu_invert(m, inverse, compute)) die("Matrix not Invertable\n");
    return inverse;
  }
  ScaledInverse inverse = invert(m, compute);
  if (inverse.rescaled) {
    for (std::uint32_t r = 0; r < m.rows; ++r) {
      for (std::uint32_t c = 0; c < m.cols; ++c) {
        float& x = inverse.values.data[r][c];
        x = std::ldexp(x, -(inverse.col[r] + inverse.row[c]));
      }
    }
  }
  return std::move(inverse.values);
}

std::optional<Matrix> matrix_divide(const Matrix& a, const Matrix& b, const Compute& compute) {
  if (b.rows != b.cols) die("Matrix must be Square");
  if (takes_lu_path(b.rows)) return matrix_multiply(a, matrix_inverse(b, compute), compute);
  const ScaledInverse inverse = invert(b, compute);
  if (!inverse.rescaled || a.cols != b.rows) return matrix_multiply(a, inverse.values, compute);
  return divide_rescaled(a, inverse, compute);
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
