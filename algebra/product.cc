#include "algebra/product.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "matrix/output.h"

namespace quolvend {
namespace {

// A vector of 8 floats that may sit anywhere a float may.
using Vec = float __attribute__((vector_size(32), aligned(4), may_alias));

// The result is computed in tiles of kRows x kCols held in registers while a
// run of k streams past. Packed copies of the operands keep that run in cache:
// kDepth values of k at a time, a block of kBlockRows rows of a, and a block of
// kBlockCols columns of b. Splitting k into runs only stores a partial sum and
// loads it again, so every element still sees the same operations in the same
// order.
constexpr std::size_t kRows = 3;
constexpr std::size_t kCols = 32;
constexpr std::size_t kVectors = kCols / 8;
constexpr std::size_t kDepth = 256;
constexpr std::size_t kBlockRows = 32 * kRows;
constexpr std::size_t kBlockCols = 32 * kCols;

// Copies a depth x width block of b (row stride ldb) into panels of kCols
// columns, each panel k-major, padding the last panel with zeros.
void pack_b(const float* b, std::size_t ldb, std::size_t depth, std::size_t width, float* out) {
  for (std::size_t j = 0; j < width; j += kCols) {
    std::size_t w = std::min(kCols, width - j);
    for (std::size_t k = 0; k < depth; ++k, out += kCols) {
      std::copy_n(b + k * ldb + j, w, out);
      std::fill(out + w, out + kCols, 0.0f);
    }
  }
}

// Copies a height x depth block of a (row stride lda) into panels of kRows
// rows, each panel k-major, padding the last panel with zeros.
void pack_a(const float* a, std::size_t lda, std::size_t height, std::size_t depth, float* out) {
  for (std::size_t i = 0; i < height; i += kRows) {
    std::size_t h = std::min(kRows, height - i);
    for (std::size_t k = 0; k < depth; ++k, out += kRows) {
      for (std::size_t t = 0; t < h; ++t) out[t] = a[(i + t) * lda + k];
      std::fill(out + h, out + kRows, 0.0f);
    }
  }
}

// tile (kRows x kCols, row stride ldc) += a_panel x b_panel over `depth` k.
[[gnu::always_inline]] inline void multiply_tile(std::size_t depth, const float* a_panel,
                                                 const float* b_panel, float* tile,
                                                 std::size_t ldc) {
  Vec c[kRows][kVectors];
  for (std::size_t r = 0; r < kRows; ++r) {
    for (std::size_t v = 0; v < kVectors; ++v)
      c[r][v] = *reinterpret_cast<const Vec*>(tile + r * ldc + 8 * v);
  }
  for (std::size_t k = 0; k < depth; ++k, a_panel += kRows, b_panel += kCols) {
    Vec b[kVectors];
    for (std::size_t v = 0; v < kVectors; ++v)
      b[v] = *reinterpret_cast<const Vec*>(b_panel + 8 * v);
    for (std::size_t r = 0; r < kRows; ++r) {
      float a = a_panel[r];
      for (std::size_t v = 0; v < kVectors; ++v) c[r][v] = c[r][v] + b[v] * a;
    }
  }
  for (std::size_t r = 0; r < kRows; ++r) {
    for (std::size_t v = 0; v < kVectors; ++v)
      *reinterpret_cast<Vec*>(tile + r * ldc + 8 * v) = c[r][v];
  }
}

// c (height x width, stride ldc) += packed a block x packed b block. Built for
// several instruction sets; the best one the processor has is picked at run
// time. None of them contracts a multiply and an add into one rounding.
[[gnu::target_clones("avx512f", "avx2", "default")]] void multiply_block(
    std::size_t height, std::size_t width, std::size_t depth, const float* a_packed,
    const float* b_packed, float* c, std::size_t ldc) {
  float edge[kRows * kCols];
  for (std::size_t j = 0; j < width; j += kCols) {
    const float* b_panel = b_packed + j * depth;
    std::size_t w = std::min(kCols, width - j);
    for (std::size_t i = 0; i < height; i += kRows) {
      const float* a_panel = a_packed + i * depth;
      std::size_t h = std::min(kRows, height - i);
      float* tile = c + i * ldc + j;
      if (h == kRows && w == kCols) {
        multiply_tile(depth, a_panel, b_panel, tile, ldc);
        continue;
      }
      // A tile cut by the edge of the result is worked on in a full-size copy.
      for (std::size_t r = 0; r < h; ++r) std::copy_n(tile + r * ldc, w, edge + r * kCols);
      multiply_tile(depth, a_panel, b_panel, edge, kCols);
      for (std::size_t r = 0; r < h; ++r) std::copy_n(edge + r * kCols, w, tile + r * ldc);
    }
  }
}

}  // namespace

std::optional<Matrix> matrix_multiply(const Matrix& a, const Matrix& b) {
  if (a.cols != b.rows) {
    out_line("Number of Columns on first Matrix does not equal\nnumber of rows on Second Matrix.");
    return std::nullopt;
  }
  Matrix product = matrix_create(a.rows, b.cols);
  const std::size_t m = a.rows, n = b.cols, inner = a.cols;
  if (m == 0 || n == 0 || inner == 0) return product;

  std::unique_ptr<float[]> b_packed(new float[kDepth * std::min(n + kCols, kBlockCols)]);
  std::unique_ptr<float[]> a_packed(new float[kBlockRows * kDepth]);
  const float* a_data = a.storage.get();
  const float* b_data = b.storage.get();
  float* c_data = product.storage.get();
  for (std::size_t jc = 0; jc < n; jc += kBlockCols) {
    std::size_t width = std::min(kBlockCols, n - jc);
    for (std::size_t pc = 0; pc < inner; pc += kDepth) {
      std::size_t depth = std::min(kDepth, inner - pc);
      pack_b(b_data + pc * n + jc, n, depth, width, b_packed.get());
      for (std::size_t ic = 0; ic < m; ic += kBlockRows) {
        std::size_t height = std::min(kBlockRows, m - ic);
        pack_a(a_data + ic * inner + pc, inner, height, depth, a_packed.get());
        multiply_block(height, width, depth, a_packed.get(), b_packed.get(), c_data + ic * n + jc,
                       n);
      }
    }
  }
  return product;
}

}  // namespace quolvend
