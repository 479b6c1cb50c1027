#include "algebra/engine.h"

#include <iterator>
#include <new>
#include <utility>

#include "algebra/engine_nest.h"
#include "kernels/dispatch.h"
#include "kernels/shapes.h"
#include "process/memory.h"
#include "process/parallel.h"

namespace quolvend {
namespace {

// c op= a x b in the set's tile `tuning.tile`: the loops built for each tile
// of the set's list, the run's called.
template <typename T, bool kSubtract>
struct TiledProduct {
  template <InstructionSet kSet>
  struct Kernel {
    using Shapes = SetShapes<kSet>;

    template <std::size_t kIndex>
    using TileNest = Nest<T, kSubtract, Shapes::kTiles[kIndex].rows, Shapes::kTiles[kIndex].vectors,
                          Shapes::kVectorBytes>;

    template <std::size_t... kIndex>
    static void in_tile(std::index_sequence<kIndex...>, std::size_t rows, std::size_t cols,
                        std::size_t depth, RowsOperand<T> a, ColumnsOperand<T> b, ResultBlock<T> c,
                        T* scratch, const Tuning& tuning, bool from_zero) {
      const std::size_t tile = tuning.tile < sizeof...(kIndex) ? tuning.tile : 0;
      ((tile == kIndex
            ? TileNest<kIndex>::run(rows, cols, depth, a, b, c, scratch, tuning, from_zero)
            : void()),
       ...);
    }

    static void run(std::size_t rows, std::size_t cols, std::size_t depth, RowsOperand<T> a,
                    ColumnsOperand<T> b, ResultBlock<T> c, T* scratch, const Tuning& tuning,
                    bool from_zero) {
      in_tile(std::make_index_sequence<std::size(Shapes::kTiles)>{}, rows, cols, depth, a, b, c,
              scratch, tuning, from_zero);
    }
  };
};

// Every set's vectors are at most this wide: the scratch is aligned for them.
constexpr std::size_t kScratchAlignment = 64;
static_assert(SetShapes<InstructionSet::avx512>::kVectorBytes <= kScratchAlignment);

template <typename T>
std::size_t scratch_elements(const Compute& compute) {
  return nest_scratch_elements(
      compute.tuning, tile_size(compute.instruction_set, compute.tuning, sizeof(T)), sizeof(T));
}

}  // namespace

template <typename T>
EngineScratch<T>::EngineScratch(const Compute& compute)
    : buffer(static_cast<T*>(::operator new[](scratch_elements<T>(compute) * sizeof(T),
                                              std::align_val_t{kScratchAlignment}))) {}

template <typename T>
void EngineScratch<T>::Release::operator()(T* p) const {
  ::operator delete[](p, std::align_val_t{kScratchAlignment});
}

template struct EngineScratch<float>;
template struct EngineScratch<double>;

std::uint64_t engine_scratch_bytes(std::size_t element_size, const Compute& compute) {
  return element_size == sizeof(float) ? scratch_elements<float>(compute) * sizeof(float)
                                       : scratch_elements<double>(compute) * sizeof(double);
}

void add_product(std::size_t rows, std::size_t cols, std::size_t depth, RowsOperand<float> a,
                 ColumnsOperand<float> b, ResultBlock<float> c, EngineScratch<float>& scratch,
                 const Compute& compute, bool c_is_zero) {
  if (rows == 0 || cols == 0 || depth == 0) return;
  dispatch<TiledProduct<float, false>::Kernel>(compute.instruction_set, rows, cols, depth, a, b, c,
                                               scratch.buffer.get(), compute.tuning, c_is_zero);
}

void subtract_product(std::size_t rows, std::size_t cols, std::size_t depth, RowsOperand<double> a,
                      ColumnsOperand<double> b, ResultBlock<double> c,
                      EngineScratch<double>& scratch, const Compute& compute) {
  if (rows == 0 || cols == 0 || depth == 0) return;
  dispatch<TiledProduct<double, true>::Kernel>(compute.instruction_set, rows, cols, depth, a, b, c,
                                               scratch.buffer.get(), compute.tuning, false);
}

void add_product_parallel(std::size_t rows, std::size_t cols, std::size_t depth,
                          RowsOperand<float> a, ColumnsOperand<float> b, ResultBlock<float> c,
                          const Compute& compute, bool c_is_zero) {
  if (rows == 0 || cols == 0 || depth == 0) return;
  // Bands of whole tiles' rows, or of columns when c is short and wide, one
  // per thread that is worth it.
  const TileSize tile = tile_size(compute.instruction_set, compute.tuning, sizeof(float));
  const bool by_rows = rows >= cols;
  std::size_t parts = split_parts(compute.threads, std::uint64_t{rows} * cols * depth,
                                  kFloatProductRate, by_rows ? rows / tile.rows : cols / tile.cols);
  MemoryCharge buffers = charge_parts(parts, engine_scratch_bytes(sizeof(float), compute));
  parallel_for(parts, [&](std::size_t p) {
    std::size_t r0 = 0, r1 = rows, c0 = 0, c1 = cols;
    if (by_rows) {
      r0 = split_point(rows, parts, p, tile.rows);
      r1 = split_point(rows, parts, p + 1, tile.rows);
    } else {
      c0 = split_point(cols, parts, p, tile.cols);
      c1 = split_point(cols, parts, p + 1, tile.cols);
    }
    EngineScratch<float> scratch(compute);
    add_product(r1 - r0, c1 - c0, depth,
                {a.data + static_cast<std::ptrdiff_t>(r0) * a.stride, a.stride, a.step},
                {b.data + c0, b.stride}, {c.data + r0 * c.stride + c0, c.stride}, scratch, compute,
                c_is_zero);
  });
}

}  // namespace quolvend
