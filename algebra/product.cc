#include "algebra/product.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "algebra/instruction_set.h"
#include "algebra/tiles.h"
#include "process/output.h"
#include "process/parallel.h"
#include "process/progress.h"

namespace quolvend {
namespace {

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
// Below this many multiply-adds a product is not worth handing to threads.
constexpr std::uint64_t kParallelWork = std::uint64_t{1} << 21;
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
template <std::size_t kWide>
[[gnu::always_inline]] inline void multiply_tile(std::size_t depth, const float* a_panel,
                                                 const float* b_panel, float* tile,
                                                 std::size_t ldc) {
  // The tile's columns go in passes of kWide vectors, as many as the
  // variant's registers hold with their operands; each element still takes
  // its k in order.
  for (std::size_t first = 0; first < kVectors; first += kWide) {
    Vec8 c[kRows][kWide];
    for (std::size_t r = 0; r < kRows; ++r) {
      for (std::size_t v = 0; v < kWide; ++v) load_vec(c[r][v], tile + r * ldc + 8 * (first + v));
    }
    const float* a = a_panel;
    const float* b = b_panel + 8 * first;
    for (std::size_t k = 0; k < depth; ++k, a += kRows, b += kCols) {
      Vec8 bk[kWide];
      for (std::size_t v = 0; v < kWide; ++v) load_vec(bk[v], b + 8 * v);
      for (std::size_t r = 0; r < kRows; ++r) {
        float ar = a[r];
        for (std::size_t v = 0; v < kWide; ++v) c[r][v] = c[r][v] + bk[v] * ar;
      }
    }
    for (std::size_t r = 0; r < kRows; ++r) {
      for (std::size_t v = 0; v < kWide; ++v) store_vec(tile + r * ldc + 8 * (first + v), c[r][v]);
    }
  }
}

// c (height x width, stride ldc) += packed a block x packed b block.
template <InstructionSet kSet>
[[gnu::always_inline]] inline void multiply_block_body(std::size_t height, std::size_t width,
                                                       std::size_t depth, const float* a_packed,
                                                       const float* b_packed, float* c,
                                                       std::size_t ldc) {
  // AVX-512 has 32 registers for the whole tile; AVX2 16, for half of it; SSE
  // 16 of a quarter the width; NEON 32 of half the width.
  constexpr std::size_t kWide = kSet == InstructionSet::avx512 ? 4
                                : kSet == InstructionSet::avx2 ? 2
                                : kX86                         ? 1
                                                               : 2;
  for_each_tile<kRows, kCols>(
      height, width, depth, a_packed, b_packed, c, ldc,
      [&](const float* a_panel, const float* b_panel, float* tile, std::size_t ld) {
        multiply_tile<kWide>(depth, a_panel, b_panel, tile, ld);
      });
}

QUOLVEND_DISPATCH(multiply_block,
                  (std::size_t height, std::size_t width, std::size_t depth, const float* a_packed,
                   const float* b_packed, float* c, std::size_t ldc),
                  (height, width, depth, a_packed, b_packed, c, ldc))

// Buffers for one thread's packed operands.
constexpr std::size_t kPackedFloats = kDepth * (kBlockCols + kCols) + kBlockRows * kDepth;

// Computes rows [r0, r1) and columns [c0, c1) of a x b into c, block by block,
// each element with k ascending.
void multiply_part(const Matrix& a, const Matrix& b, Matrix& c, std::size_t r0, std::size_t r1,
                   std::size_t c0, std::size_t c1) {
  const std::size_t n = b.cols, inner = a.cols;
  std::unique_ptr<float[]> packed(new float[kPackedFloats]);
  float* b_packed = packed.get();
  float* a_packed = b_packed + kDepth * (kBlockCols + kCols);
  const float* a_data = a.storage.get();
  const float* b_data = b.storage.get();
  float* c_data = c.storage.get();
  for (std::size_t jc = c0; jc < c1; jc += kBlockCols) {
    std::size_t width = std::min(kBlockCols, c1 - jc);
    for (std::size_t pc = 0; pc < inner; pc += kDepth) {
      std::size_t depth = std::min(kDepth, inner - pc);
      pack_b(b_data + pc * n + jc, n, depth, width, b_packed);
      for (std::size_t ic = r0; ic < r1; ic += kBlockRows) {
        std::size_t height = std::min(kBlockRows, r1 - ic);
        pack_a(a_data + ic * inner + pc, inner, height, depth, a_packed);
        multiply_block(height, width, depth, a_packed, b_packed, c_data + ic * n + jc, n);
      }
      progress_add(std::uint64_t{r1 - r0} * width * depth);
    }
  }
}

}  // namespace

std::uint64_t multiply_work(const Matrix& a, const Matrix& b) {
  return std::uint64_t{a.rows} * a.cols * b.cols;
}

std::optional<Matrix> matrix_multiply(const Matrix& a, const Matrix& b) {
  if (a.cols != b.rows) {
    out_line("Number of Columns on first Matrix does not equal\nnumber of rows on Second Matrix.");
    return std::nullopt;
  }
  // The tiles add onto the result, so it must start as +0.0 everywhere, as
  // matrix_create makes it: each element's sum then starts from +0.0.
  Matrix product = matrix_create(a.rows, b.cols);
  const std::size_t m = a.rows, n = b.cols;
  if (m == 0 || n == 0 || a.cols == 0) return product;

  // Each thread takes a band of rows (or, for a short, wide result, of
  // columns) and packs its own copies of the operands.
  std::size_t parts = multiply_work(a, b) < kParallelWork ? 1 : thread_count();
  bool by_rows = m >= n;
  parts = std::min(parts, (by_rows ? m / kRows : n / kCols) + 1);
  MemoryCharge buffers = charge_parts(parts, kPackedFloats * sizeof(float));
  parallel_for(parts, [&](std::size_t part) {
    if (by_rows) {
      multiply_part(a, b, product, split_point(m, parts, part, kRows),
                    split_point(m, parts, part + 1, kRows), 0, n);
    } else {
      multiply_part(a, b, product, 0, m, split_point(n, parts, part, kCols),
                    split_point(n, parts, part + 1, kCols));
    }
  });
  return product;
}

}  // namespace quolvend
