#include "algebra/sum.h"

#include "process/output.h"
#include "process/parallel.h"

namespace quolvend {
namespace {

// What one thread gets through: about an element a nanosecond, the page
// faults of the result included.
constexpr Rate kElementRate{1, 1};

bool sizes_match_or_say_so(const Matrix& a, const Matrix& b) {
  if (a.rows == b.rows && a.cols == b.cols) return true;
  out_line("Matrices must be the same size");
  return false;
}

// z = x op y element by element over every thread that is worth it: the
// result's fresh pages, first written here, are most of the work. Rows are
// stored back to back, so the elements are walked as one flat array.
template <typename Op>
Matrix elementwise(const Matrix& a, const Matrix& b, Op op, const Compute& compute) {
  Matrix result = matrix_create(a.rows, a.cols);
  const float* x = a.storage.get();
  const float* y = b.storage.get();
  float* z = result.storage.get();
  const std::size_t n = matrix_size(a);
  const std::size_t parts = split_parts(compute.threads, n, kElementRate, n / 4096 + 1);
  parallel_for(parts, [&](std::size_t part) {
    const std::size_t end = split_point(n, parts, part + 1);
    for (std::size_t i = split_point(n, parts, part); i < end; ++i) z[i] = op(x[i], y[i]);
  });
  return result;
}

}  // namespace

std::optional<Matrix> matrix_add(const Matrix& a, const Matrix& b, const Compute& compute) {
  if (!sizes_match_or_say_so(a, b)) return std::nullopt;
  return elementwise(
      a, b, [](float x, float y) { return x + y; }, compute);
}

std::optional<Matrix> matrix_subtract(const Matrix& a, const Matrix& b, const Compute& compute) {
  if (!sizes_match_or_say_so(a, b)) return std::nullopt;
  return elementwise(
      a, b, [](float x, float y) { return x - y; }, compute);
}

}  // namespace quolvend
