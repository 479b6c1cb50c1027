#include "algebra/row_scaling.h"

#include <algorithm>
#include <cmath>

namespace quolvend {

bool all_finite(const Matrix& m) {
  const float* element = m.storage.get();
  return std::all_of(element, element + matrix_size(m), [](float x) { return std::isfinite(x); });
}

RowScaled scale_rows(const Matrix& m) {
  RowScaled s{matrix_create(m.rows, m.cols), std::vector<int>(m.rows, 0), 0};
  for (std::uint32_t i = 0; i < m.rows; ++i) {
    const float* row = m.data[i];
    float largest = 0.0f;
    for (std::uint32_t j = 0; j < m.cols; ++j) largest = std::max(largest, std::fabs(row[j]));
    if (largest == 0.0f) continue;  // a row of zeros stays as it is
    std::frexp(largest, &s.exponents[i]);
    s.total += s.exponents[i];
    for (std::uint32_t j = 0; j < m.cols; ++j)
      s.matrix.data[i][j] = std::ldexp(row[j], -s.exponents[i]);
  }
  return s;
}

}  // namespace quolvend
