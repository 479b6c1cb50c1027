// The Matrix record: a dense matrix of single-precision numbers, its creation,
// and the one exit for exhausted memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace quolvend {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

// Row r is data[r], a run of `cols` elements; element (r, c) is data[r][c].
// All rows live in one zero-filled block (`storage`, row-major, no gaps), so a
// freshly made matrix costs no memory until its elements are written. A matrix
// with no rows or no columns is an ordinary value. Matrices are move-only and
// release their memory when they go out of scope.
struct Matrix {
  std::unique_ptr<float*[]> data;
  std::uint32_t rows = 0;
  std::uint32_t cols = 0;
  std::unique_ptr<float[], FreeDeleter> storage;
};

// Returns a new rows x cols matrix of +0.0. Ends the process with "MALLOC error"
// when the memory cannot be had or would not fit in physical memory.
Matrix matrix_create(std::uint32_t rows, std::uint32_t cols);

// Number of elements, rows x cols.
inline std::size_t matrix_size(const Matrix& m) { return std::size_t{m.rows} * m.cols; }

// Ends the process with "MALLOC error" on standard output, status 1.
[[noreturn]] void out_of_memory();

// Ends the process with "MALLOC error" unless `bytes` (as computed, saturating)
// fit in the machine's physical memory. Used before allocations that would be
// touched in full, so that they fail at once instead of ending in an
// out-of-memory kill later.
void require_memory(std::uint64_t bytes);

}  // namespace quolvend
