#include "algebra/engine.h"

#include <algorithm>
#include <cstring>

#include "kernels/dispatch.h"
#include "kernels/shapes.h"
#include "kernels/vector.h"
#include "process/memory.h"
#include "process/parallel.h"

namespace quolvend {
namespace {

// --- Register tiles and cache blocks (kernels/shapes.h) ---------------------

template <InstructionSet kSet, typename T>
struct Tile {
  using Shape = KernelShape<kSet>;
  static constexpr std::size_t kBytes = Shape::kVectorBytes;
  static constexpr std::size_t kLanes = kBytes / sizeof(T);
  static constexpr std::size_t kRows = Shape::kTileRows;
  static constexpr std::size_t kVectors = Shape::kTileVectors;
  static constexpr std::size_t kCols = kVectors * kLanes;
  using Vector = ::quolvend::Vector<T, kBytes>;
  static_assert(kRows <= kMostTileRows, "a's packing buffer holds a whole tile's rows");
};

constexpr std::size_t kDepth = kBlockDepth;
template <typename T>
constexpr std::size_t kBlockCols = kBlockBytes / (kDepth * sizeof(T));

// The widest tile of any set, in elements of T.
template <typename T>
constexpr std::size_t kMostTileCols = std::max({Tile<InstructionSet::avx512, T>::kCols,
                                                Tile<InstructionSet::avx2, T>::kCols,
                                                Tile<InstructionSet::portable, T>::kCols});

// a's packed tile rows, b's packed block, and a full-size copy of a tile cut by
// c's edge: on the heap, not the stack, which may be small on the main thread.
template <typename T>
constexpr std::size_t scratch_elements() {
  return kMostTileRows * kDepth + kDepth * kBlockCols<T> + kMostTileRows * kMostTileCols<T>;
}

// tile (kRows x kCols of c, row stride ldc) op= a panel x b panel over `depth`.
template <InstructionSet kSet, typename T, bool kSubtract>
[[gnu::always_inline]] inline void multiply_tile(std::size_t depth, const T* a, const T* b, T* c,
                                                 std::size_t ldc) {
  using S = Tile<kSet, T>;
  using V = typename S::Vector;
  V sum[S::kRows][S::kVectors];
#pragma GCC unroll 8
  for (std::size_t r = 0; r < S::kRows; ++r) {
#pragma GCC unroll 8
    for (std::size_t v = 0; v < S::kVectors; ++v) load_vec(sum[r][v], c + r * ldc + v * S::kLanes);
  }
  for (std::size_t k = 0; k < depth; ++k, a += S::kRows, b += S::kCols) {
    V bk[S::kVectors];
#pragma GCC unroll 8
    for (std::size_t v = 0; v < S::kVectors; ++v) load_vec(bk[v], b + v * S::kLanes);
#pragma GCC unroll 8
    for (std::size_t r = 0; r < S::kRows; ++r) {
      const T ar = a[r];
#pragma GCC unroll 8
      for (std::size_t v = 0; v < S::kVectors; ++v) {
        if constexpr (kSubtract) {
          sum[r][v] = sum[r][v] - bk[v] * ar;
        } else {
          sum[r][v] = sum[r][v] + bk[v] * ar;
        }
      }
    }
  }
#pragma GCC unroll 8
  for (std::size_t r = 0; r < S::kRows; ++r) {
#pragma GCC unroll 8
    for (std::size_t v = 0; v < S::kVectors; ++v) store_vec(c + r * ldc + v * S::kLanes, sum[r][v]);
  }
}

// b's terms [k0, k0 + depth) of columns [j0, j0 + width), in panels of kCols
// columns, each k-major, the last padded with zeros.
template <std::size_t kCols, typename T>
void pack_b(ColumnsOperand<T> b, std::size_t k0, std::size_t depth, std::size_t j0,
            std::size_t width, T* out) {
  for (std::size_t j = 0; j < width; j += kCols) {
    const std::size_t w = std::min(kCols, width - j);
    for (std::size_t k = 0; k < depth; ++k, out += kCols) {
      const T* row = b.data + static_cast<std::ptrdiff_t>(k0 + k) * b.stride + (j0 + j);
      std::copy_n(row, w, out);
      std::fill(out + w, out + kCols, T{0});
    }
  }
}

// a's rows [i0, i0 + height) (height <= kRows), terms [k0, k0 + depth),
// k-major, padded with zero rows.
template <std::size_t kRows, typename T>
void pack_a(RowsOperand<T> a, std::size_t i0, std::size_t height, std::size_t k0, std::size_t depth,
            T* out) {
  for (std::size_t k = 0; k < depth; ++k, out += kRows) {
    for (std::size_t t = 0; t < height; ++t) {
      out[t] = a.data[static_cast<std::ptrdiff_t>(i0 + t) * a.stride +
                      static_cast<std::ptrdiff_t>(k0 + k) * a.step];
    }
    std::fill(out + height, out + kRows, T{0});
  }
}

// c (rows x cols) op= a x b over `depth` terms, block by block.
template <typename T, bool kSubtract>
struct TiledProduct {
  template <InstructionSet kSet>
  struct Kernel {
    static void run(std::size_t rows, std::size_t cols, std::size_t depth, RowsOperand<T> a,
                    ColumnsOperand<T> b, ResultBlock<T> c, T* scratch) {
      using S = Tile<kSet, T>;
      static_assert(S::kRows * S::kCols <= kMostTileRows * kMostTileCols<T>);
      T* a_packed = scratch;
      T* b_packed = a_packed + kMostTileRows * kDepth;
      T* edge = b_packed + kDepth * kBlockCols<T>;
      for (std::size_t jc = 0; jc < cols; jc += kBlockCols<T>) {
        const std::size_t width = std::min(kBlockCols<T>, cols - jc);
        for (std::size_t pc = 0; pc < depth; pc += kDepth) {
          const std::size_t steps = std::min(kDepth, depth - pc);
          pack_b<S::kCols>(b, pc, steps, jc, width, b_packed);
          for (std::size_t i = 0; i < rows; i += S::kRows) {
            const std::size_t h = std::min(S::kRows, rows - i);
            pack_a<S::kRows>(a, i, h, pc, steps, a_packed);
            for (std::size_t j = 0; j < width; j += S::kCols) {
              const std::size_t w = std::min(S::kCols, width - j);
              const T* b_panel = b_packed + j * steps;
              T* tile = c.data + i * c.stride + jc + j;
              if (h == S::kRows && w == S::kCols) {
                multiply_tile<kSet, T, kSubtract>(steps, a_packed, b_panel, tile, c.stride);
                continue;
              }
              // A tile cut by the edge of c is worked on in a full-size copy.
              for (std::size_t r = 0; r < h; ++r)
                std::copy_n(tile + r * c.stride, w, edge + r * S::kCols);
              multiply_tile<kSet, T, kSubtract>(steps, a_packed, b_panel, edge, S::kCols);
              for (std::size_t r = 0; r < h; ++r)
                std::copy_n(edge + r * S::kCols, w, tile + r * c.stride);
            }
          }
        }
      }
    }
  };
};

}  // namespace

template <typename T>
EngineScratch<T>::EngineScratch() : buffer(new T[scratch_elements<T>()]) {}

template struct EngineScratch<float>;
template struct EngineScratch<double>;

std::uint64_t engine_scratch_bytes(std::size_t element_size) {
  return element_size == sizeof(float) ? scratch_elements<float>() * sizeof(float)
                                       : scratch_elements<double>() * sizeof(double);
}

void add_product(std::size_t rows, std::size_t cols, std::size_t depth, RowsOperand<float> a,
                 ColumnsOperand<float> b, ResultBlock<float> c, EngineScratch<float>& scratch,
                 InstructionSet kernels) {
  if (rows == 0 || cols == 0 || depth == 0) return;
  dispatch<TiledProduct<float, false>::Kernel>(kernels, rows, cols, depth, a, b, c,
                                               scratch.buffer.get());
}

void subtract_product(std::size_t rows, std::size_t cols, std::size_t depth, RowsOperand<double> a,
                      ColumnsOperand<double> b, ResultBlock<double> c,
                      EngineScratch<double>& scratch, InstructionSet kernels) {
  if (rows == 0 || cols == 0 || depth == 0) return;
  dispatch<TiledProduct<double, true>::Kernel>(kernels, rows, cols, depth, a, b, c,
                                               scratch.buffer.get());
}

void add_product_parallel(std::size_t rows, std::size_t cols, std::size_t depth,
                          RowsOperand<float> a, ColumnsOperand<float> b, ResultBlock<float> c,
                          const Compute& compute) {
  if (rows == 0 || cols == 0 || depth == 0) return;
  // Bands of rows, or of columns when c is short and wide, one per thread that
  // is worth it.
  const bool by_rows = rows >= cols;
  std::size_t parts = split_parts(compute.threads, std::uint64_t{rows} * cols * depth,
                                  kFloatProductRate, by_rows ? rows / 8 : cols / 64);
  MemoryCharge buffers = charge_parts(parts, engine_scratch_bytes(sizeof(float)));
  parallel_for(parts, [&](std::size_t p) {
    std::size_t r0 = 0, r1 = rows, c0 = 0, c1 = cols;
    if (by_rows) {
      r0 = split_point(rows, parts, p, 8);
      r1 = split_point(rows, parts, p + 1, 8);
    } else {
      c0 = split_point(cols, parts, p, 64);
      c1 = split_point(cols, parts, p + 1, 64);
    }
    EngineScratch<float> scratch;
    add_product(r1 - r0, c1 - c0, depth,
                {a.data + static_cast<std::ptrdiff_t>(r0) * a.stride, a.stride, a.step},
                {b.data + c0, b.stride}, {c.data + r0 * c.stride + c0, c.stride}, scratch,
                compute.kernels);
  });
}

}  // namespace quolvend
