#include "algebra/determinant.h"

#include "algebra/lu.h"
#include "algebra/minor_table.h"
#include "process/exits.h"

namespace quolvend {

float matrix_determinant(const Matrix& m) {
  if (m.rows != m.cols) die("Matrix must be square");
  switch (m.rows) {
    case 0:
      return 0.0f;
    case 1:
      return m.data[0][0];
    case 2:
      return m.data[0][0] * m.data[1][1] - m.data[1][0] * m.data[0][1];
    default:
      return takes_lu_path(m.rows) ? lu_determinant(m) : expand_determinant(m);
  }
}

std::uint64_t determinant_work(const Matrix& m) {
  if (m.rows != m.cols || m.rows < 3) return 0;
  return takes_lu_path(m.rows) ? lu_work(m.rows, false) : minor_table_work(m.rows, false);
}

}  // namespace quolvend
