#include "algebra/determinant.h"

#include <cmath>

#include "algebra/lu.h"
#include "algebra/minor_table.h"
#include "algebra/range.h"
#include "process/exits.h"
#include "process/progress.h"

namespace quolvend {

float expansion_determinant(const Matrix& m, const Compute& compute) {
  switch (m.rows) {
    case 0:
      return 0.0f;
    case 1:
      return m.data[0][0];
    case 2:
      return m.data[0][0] * m.data[1][1] - m.data[1][0] * m.data[0][1];
    default:
      return expand_determinant(m, compute);
  }
}

float matrix_determinant(const Matrix& m, const Compute& compute) {
  if (m.rows != m.cols) die("Matrix must be square");
  if (takes_lu_path(m.rows)) return lu_determinant(m, compute);
  const RangeWatch watch;
  const float det = expansion_determinant(m, compute);
  if (!second_run_fires(m, watch)) return det;

  progress_repeat();
  const Equilibrated e = equilibrate(m);
  const RangeWatch again;
  const float scaled = expansion_determinant(e.matrix, compute);
  if (!again.left()) {
    // Singular in the scaled order too: the first run's result stands.
    return scaled == 0.0f ? det : std::ldexp(scaled, e.scale());
  }
  // Out of range even scaled: the LU in double answers, rounded once.
  const std::optional<float> lu = lu_scaled_determinant(e.matrix, e.scale(), compute);
  progress_complete();
  return lu.value_or(det);
}

std::uint64_t determinant_work(const Matrix& m) {
  if (m.rows != m.cols || m.rows < 3) return 0;
  return takes_lu_path(m.rows) ? lu_work(m.rows, false) : minor_table_work(m.rows, false);
}

}  // namespace quolvend
