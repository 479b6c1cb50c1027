// The tiled engine: c op= a x b for the product (float, op +) and the LU's
// updates and solves (double, op -), written once.
//
// Every element takes its terms in one order, k ascending:
//     c(i, j) = c(i, j) op (a(i, k) * b(k, j)),  k = 0, 1, ... depth - 1,
// each product rounded to T, then the sum or difference rounded to T (no fused
// multiply-add). The engine computes c in register tiles that stream a run of
// k past each element in that order; a run only stores a partial result and
// loads it again, so blocking, tile shapes, instruction sets and threads
// never change a bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "kernels/compute.h"
#include "process/parallel.h"

namespace quolvend {

// The a operand: a(i, k) is data[i * stride + k * step]. A negative step
// walks k downwards through memory.
template <typename T>
struct RowsOperand {
  const T* data;
  std::ptrdiff_t stride;
  std::ptrdiff_t step;
};

// The b operand: b(k, j) is data[k * stride + j]. A negative stride walks k
// downwards through memory.
template <typename T>
struct ColumnsOperand {
  const T* data;
  std::ptrdiff_t stride;
};

// The c operand: c(i, j) is data[i * stride + j].
template <typename T>
struct ResultBlock {
  T* data;
  std::size_t stride;
};

// One thread's packing buffers, sized for a run's tile and blocks (its
// Compute's), aligned for its vectors.
template <typename T>
struct EngineScratch {
  explicit EngineScratch(const Compute& compute);
  struct Release {
    void operator()(T* p) const;
  };
  std::unique_ptr<T[], Release> buffer;
};

// What one thread's EngineScratch<T> takes, to be charged by its owner.
std::uint64_t engine_scratch_bytes(std::size_t element_size, const Compute& compute);

// What one thread's tiles get through, for splitting steps over threads:
// multiply-adds a nanosecond, guessed low (at their best about 100 in float),
// doubles at half the float rate (half as many to a vector).
inline constexpr Rate kFloatProductRate{32, 1};
inline constexpr Rate kDoubleProductRate{16, 1};

// c (rows x cols) += a x b over `depth` terms, on this thread, with the
// kernels' build for the run's instruction set, in its tile. Where
// `c_is_zero`, c holds +0 everywhere and is not read.
void add_product(std::size_t rows, std::size_t cols, std::size_t depth, RowsOperand<float> a,
                 ColumnsOperand<float> b, ResultBlock<float> c, EngineScratch<float>& scratch,
                 const Compute& compute, bool c_is_zero = false);

// add_product over every thread that is worth it: c is cut into bands of
// rows, or of columns when it is short and wide, each with buffers of its own
// (charged to the memory budget for the step).
void add_product_parallel(std::size_t rows, std::size_t cols, std::size_t depth,
                          RowsOperand<float> a, ColumnsOperand<float> b, ResultBlock<float> c,
                          const Compute& compute, bool c_is_zero = false);

// c (rows x cols) -= a x b over `depth` terms, on this thread.
void subtract_product(std::size_t rows, std::size_t cols, std::size_t depth, RowsOperand<double> a,
                      ColumnsOperand<double> b, ResultBlock<double> c,
                      EngineScratch<double>& scratch, const Compute& compute);

}  // namespace quolvend
