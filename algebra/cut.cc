#include "algebra/cut.h"

#include <algorithm>

namespace quolvend {

Matrix matrix_cut(const Matrix& m, std::uint32_t row, std::uint32_t col) {
  Matrix cut = matrix_create(m.rows - 1, m.cols - 1);
  for (std::uint32_t r = 0, to = 0; r < m.rows; ++r) {
    if (r == row) continue;
    const float* source = m.data[r];
    float* target = cut.data[to++];
    target = std::copy(source, source + col, target);
    std::copy(source + col + 1, source + m.cols, target);
  }
  return cut;
}

}  // namespace quolvend
