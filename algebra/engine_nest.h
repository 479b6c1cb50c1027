// The tiled engine's loops, for any register tile: engine.cc builds them for
// each tile in each set's list (kernels/shapes.h), and the tests for shapes
// no table holds. Every buffer is sized from the same blocks the loops walk
// by (nest_scratch_elements), so a tile and a block that do not divide each
// other cannot write past one.
#pragma once

#include <algorithm>
#include <cstddef>

#include "algebra/engine.h"
#include "kernels/shapes.h"
#include "kernels/vector.h"

namespace quolvend {

// A register tile of kRows rows by kVectors vectors of kVectorBytes, on
// elements of T; c op= a x b, op - where kSubtract.
template <typename T, bool kSubtract, std::size_t kRows, std::size_t kVectors,
          std::size_t kVectorBytes>
struct Nest {
  static constexpr std::size_t kLanes = kVectorBytes / sizeof(T);
  static constexpr std::size_t kCols = kVectors * kLanes;
  static constexpr TileSize kTile{kRows, kCols};
  using V = Vector<T, kVectorBytes>;

  // The tile at c (row stride ldc) op= a's sliver x b's sliver over `depth`
  // terms, its sums started from c, or from +0 where kFromZero (c is +0,
  // and +0 + x is exactly what c + x gives). The rows of `next`, the tile to
  // come, are fetched meanwhile.
  template <bool kFromZero>
  [[gnu::always_inline]] static inline void tile(std::size_t depth, const T* a, const T* b, T* c,
                                                 std::size_t ldc, const T* next) {
    V sum[kRows][kVectors];
#pragma GCC unroll 16
    for (std::size_t r = 0; r < kRows; ++r) {
#pragma GCC unroll 8
      for (std::size_t v = 0; v < kVectors; ++v) {
        if constexpr (kFromZero) {
          sum[r][v] = V{};
        } else {
          load_vec(sum[r][v], c + r * ldc + v * kLanes);
        }
      }
    }
#pragma GCC unroll 16
    for (std::size_t r = 0; r < kRows; ++r) __builtin_prefetch(next + r * ldc, 1, 3);
    for (std::size_t k = 0; k < depth; ++k, a += kRows, b += kCols) {
      V bk[kVectors];
#pragma GCC unroll 8
      for (std::size_t v = 0; v < kVectors; ++v) load_vec(bk[v], b + v * kLanes);
#pragma GCC unroll 16
      for (std::size_t r = 0; r < kRows; ++r) {
        const T ar = a[r];
#pragma GCC unroll 8
        for (std::size_t v = 0; v < kVectors; ++v) {
          if constexpr (kSubtract) {
            sum[r][v] = sum[r][v] - bk[v] * ar;
          } else {
            sum[r][v] = sum[r][v] + bk[v] * ar;
          }
        }
      }
    }
#pragma GCC unroll 16
    for (std::size_t r = 0; r < kRows; ++r) {
#pragma GCC unroll 8
      for (std::size_t v = 0; v < kVectors; ++v) store_vec(c + r * ldc + v * kLanes, sum[r][v]);
    }
  }

  // b's terms [k0, k0 + depth) of columns [j0, j0 + width), in slivers of
  // kCols columns, each k-major, the last padded with zeros.
  static void pack_b(ColumnsOperand<T> b, std::size_t k0, std::size_t depth, std::size_t j0,
                     std::size_t width, T* out) {
    for (std::size_t j = 0; j < width; j += kCols) {
      const std::size_t w = std::min(kCols, width - j);
      const T* row =
          b.data + static_cast<std::ptrdiff_t>(k0) * b.stride + static_cast<std::ptrdiff_t>(j0 + j);
      for (std::size_t k = 0; k < depth; ++k, out += kCols, row += b.stride) {
        if (w == kCols) {
          // Whole vectors: a library call for each sliver's row would cost
          // more than the copy.
#pragma GCC unroll 8
          for (std::size_t v = 0; v < kVectors; ++v) {
            V x;
            load_vec(x, row + v * kLanes);
            store_vec(out + v * kLanes, x);
          }
          continue;
        }
        for (std::size_t t = 0; t < kCols; ++t) out[t] = t < w ? row[t] : T{0};
      }
    }
  }

  // a's rows [i0, i0 + height), terms [k0, k0 + depth), in slivers of kRows
  // rows, each k-major, the last padded with zero rows.
  static void pack_a(RowsOperand<T> a, std::size_t i0, std::size_t height, std::size_t k0,
                     std::size_t depth, T* out) {
    for (std::size_t i = 0; i < height; i += kRows) {
      const std::size_t h = std::min(kRows, height - i);
      const T* rows[kRows];
      for (std::size_t t = 0; t < kRows; ++t) {
        rows[t] = a.data + static_cast<std::ptrdiff_t>(i0 + i + std::min(t, h - 1)) * a.stride +
                  static_cast<std::ptrdiff_t>(k0) * a.step;
      }
      for (std::size_t k = 0; k < depth; ++k, out += kRows) {
        const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(k) * a.step;
#pragma GCC unroll 16
        for (std::size_t t = 0; t < kRows; ++t) out[t] = t < h ? rows[t][at] : T{0};
      }
    }
  }

  // The tiles of one block: a's panel (height rows) against b's block (width
  // columns), `depth` terms each.
  template <bool kFromZero>
  static void block(std::size_t height, std::size_t width, std::size_t depth, const T* a_packed,
                    const T* b_packed, ResultBlock<T> c, T* edge) {
    for (std::size_t i = 0; i < height; i += kRows) {
      const std::size_t h = std::min(kRows, height - i);
      const T* a_sliver = a_packed + i * depth;
      for (std::size_t j = 0; j < width; j += kCols) {
        const std::size_t w = std::min(kCols, width - j);
        const T* b_sliver = b_packed + j * depth;
        T* at = c.data + i * c.stride + j;
        if (h == kRows && w == kCols) {
          tile<kFromZero>(depth, a_sliver, b_sliver, at, c.stride, at + kCols);
          continue;
        }
        // A tile cut by the edge of c is worked on in a full-size copy.
        if constexpr (!kFromZero) {
          for (std::size_t r = 0; r < h; ++r) std::copy_n(at + r * c.stride, w, edge + r * kCols);
        }
        tile<kFromZero>(depth, a_sliver, b_sliver, edge, kCols, edge);
        for (std::size_t r = 0; r < h; ++r) std::copy_n(edge + r * kCols, w, at + r * c.stride);
      }
    }
  }

  // c (rows x cols) op= a x b over `depth` terms: for each panel of a's rows
  // (c's rows kept in level 3 between blocks of k) and each block of k, a's
  // panel is packed once and each block of b's columns against it; c is read
  // and written once for each block of k, and not read at all in the first
  // where `from_zero`.
  static void run(std::size_t rows, std::size_t cols, std::size_t depth, RowsOperand<T> a,
                  ColumnsOperand<T> b, ResultBlock<T> c, T* scratch, const Tuning& tuning,
                  bool from_zero) {
    const Blocks blocks = blocks_for(tuning, kTile, sizeof(T));
    const std::size_t c_rows = tuning.level3 / 2 / (cols * sizeof(T)) / kRows * kRows;
    const std::size_t panel = std::clamp(c_rows, kRows, blocks.rows);
    T* a_packed = scratch;
    T* b_packed = a_packed + blocks.rows * blocks.depth;
    T* edge = b_packed + blocks.depth * blocks.cols;
    for (std::size_t i0 = 0; i0 < rows; i0 += panel) {
      const std::size_t height = std::min(panel, rows - i0);
      for (std::size_t k0 = 0; k0 < depth; k0 += blocks.depth) {
        const std::size_t steps = std::min(blocks.depth, depth - k0);
        pack_a(a, i0, height, k0, steps, a_packed);
        for (std::size_t j0 = 0; j0 < cols; j0 += blocks.cols) {
          const std::size_t width = std::min(blocks.cols, cols - j0);
          pack_b(b, k0, steps, j0, width, b_packed);
          const ResultBlock<T> part{c.data + i0 * c.stride + j0, c.stride};
          if (from_zero && k0 == 0) {
            block<true>(height, width, steps, a_packed, b_packed, part, edge);
          } else {
            block<false>(height, width, steps, a_packed, b_packed, part, edge);
          }
        }
      }
    }
  }
};

// The elements of one thread's scratch for tiles of `tile`: a's panel, b's
// block and the edge tile's copy.
inline std::size_t nest_scratch_elements(const Tuning& tuning, TileSize tile, std::size_t element) {
  const Blocks blocks = blocks_for(tuning, tile, element);
  return blocks.rows * blocks.depth + blocks.depth * blocks.cols + tile.rows * tile.cols;
}

}  // namespace quolvend
