#include "algebra/product.h"

#include <algorithm>

#include "algebra/engine.h"
#include "process/output.h"
#include "process/progress.h"

namespace quolvend {
namespace {

// The terms of k go to the engine in runs of this many, each run's progress
// reported when it is done; every element still takes its terms in order.
constexpr std::size_t kProgressRun = 1024;

}  // namespace

std::uint64_t multiply_work(const Matrix& a, const Matrix& b) {
  return std::uint64_t{a.rows} * a.cols * b.cols;
}

std::optional<Matrix> matrix_multiply(const Matrix& a, const Matrix& b, const Compute& compute) {
  if (a.cols != b.rows) {
    out_line("Number of Columns on first Matrix does not equal\nnumber of rows on Second Matrix.");
    return std::nullopt;
  }
  // The engine adds onto the result, so it must start as +0.0 everywhere, as
  // matrix_create makes it: each element's sum then starts from +0.0.
  Matrix product = matrix_create(a.rows, b.cols);
  const std::size_t m = a.rows, n = b.cols, inner = a.cols;
  for (std::size_t k0 = 0; k0 < inner; k0 += kProgressRun) {
    const std::size_t run = std::min(kProgressRun, inner - k0);
    add_product_parallel(m, n, run, {a.storage.get() + k0, static_cast<std::ptrdiff_t>(inner), 1},
                         {b.storage.get() + k0 * n, static_cast<std::ptrdiff_t>(n)},
                         {product.storage.get(), n}, compute, /*c_is_zero=*/k0 == 0);
    progress_add(std::uint64_t{m} * n * run);
  }
  return product;
}

}  // namespace quolvend
