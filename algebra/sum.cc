#include "algebra/sum.h"

#include "process/output.h"

namespace quolvend {
namespace {

bool sizes_match_or_say_so(const Matrix& a, const Matrix& b) {
  if (a.rows == b.rows && a.cols == b.cols) return true;
  out_line("Matrices must be the same size");
  return false;
}

}  // namespace

// Rows are stored back to back, so both walk the elements as one flat array.
std::optional<Matrix> matrix_add(const Matrix& a, const Matrix& b) {
  if (!sizes_match_or_say_so(a, b)) return std::nullopt;
  Matrix sum = matrix_create(a.rows, a.cols);
  const float* x = a.storage.get();
  const float* y = b.storage.get();
  float* z = sum.storage.get();
  for (std::size_t i = 0, n = matrix_size(a); i < n; ++i) z[i] = x[i] + y[i];
  return sum;
}

std::optional<Matrix> matrix_subtract(const Matrix& a, const Matrix& b) {
  if (!sizes_match_or_say_so(a, b)) return std::nullopt;
  Matrix difference = matrix_create(a.rows, a.cols);
  const float* x = a.storage.get();
  const float* y = b.storage.get();
  float* z = difference.storage.get();
  for (std::size_t i = 0, n = matrix_size(a); i < n; ++i) z[i] = x[i] - y[i];
  return difference;
}

}  // namespace quolvend
