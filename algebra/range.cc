#include "algebra/range.h"

#include <algorithm>
#include <cfenv>
#include <climits>
#include <cmath>
#include <numeric>

namespace quolvend {
namespace {

constexpr int kOutOfRange = FE_OVERFLOW | FE_UNDERFLOW | FE_INVALID;

bool all_finite(const Matrix& m) {
  const float* element = m.storage.get();
  return std::all_of(element, element + matrix_size(m), [](float x) { return std::isfinite(x); });
}

}  // namespace

RangeWatch::RangeWatch() { std::feclearexcept(kOutOfRange); }

bool RangeWatch::left() const { return std::fetestexcept(kOutOfRange) != 0; }

bool second_run_fires(const Matrix& m, const RangeWatch& watch) {
  return watch.left() && all_finite(m);
}

int exponent_of(float x) {
  int e = 0;
  std::frexp(x, &e);
  return e;
}

int Equilibrated::scale() const {
  return std::accumulate(row.begin(), row.end(), 0) + std::accumulate(col.begin(), col.end(), 0);
}

Equilibrated equilibrate(const Matrix& m) {
  Equilibrated e{matrix_create(m.rows, m.cols), std::vector<int>(m.rows, INT_MIN),
                 std::vector<int>(m.cols, INT_MIN)};
  // The largest magnitude's exponent is the largest exponent; a row's scaled
  // elements have their exponents less the row's.
  for (std::uint32_t i = 0; i < m.rows; ++i) {
    for (std::uint32_t j = 0; j < m.cols; ++j) {
      if (m.data[i][j] != 0.0f) e.row[i] = std::max(e.row[i], exponent_of(m.data[i][j]));
    }
  }
  for (int& r : e.row) r = r == INT_MIN ? 0 : r;
  for (std::uint32_t i = 0; i < m.rows; ++i) {
    for (std::uint32_t j = 0; j < m.cols; ++j) {
      if (m.data[i][j] != 0.0f) e.col[j] = std::max(e.col[j], exponent_of(m.data[i][j]) - e.row[i]);
    }
  }
  for (int& c : e.col) c = c == INT_MIN ? 0 : c;
  for (std::uint32_t i = 0; i < m.rows; ++i) {
    for (std::uint32_t j = 0; j < m.cols; ++j)
      e.matrix.data[i][j] = std::ldexp(m.data[i][j], -(e.row[i] + e.col[j]));
  }
  return e;
}

}  // namespace quolvend
