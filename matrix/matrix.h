// The Matrix record: a dense matrix of single-precision numbers, and its
// creation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "process/memory.h"

namespace quolvend {

// Row r of a matrix whose rows are stored back to back: data[r] points at its
// first element. It costs nothing per row, so a matrix declared with many rows
// but no columns takes no memory.
struct RowTable {
  float* base = nullptr;
  std::size_t cols = 0;
  float* operator[](std::size_t r) const { return base + r * cols; }
};

// Element (r, c) is data[r][c]. All elements live in one zero-filled block
// (`storage`, row-major, no gaps), so a freshly made matrix costs no memory
// until its elements are written; the block is charged against the memory
// budget for as long as it lives. A matrix with no rows or no columns is an
// ordinary value. Matrices are move-only and release their memory when they go
// out of scope.
struct Matrix {
  RowTable data;
  std::uint32_t rows = 0;
  std::uint32_t cols = 0;
  std::unique_ptr<float[], FreeDeleter> storage;
  MemoryCharge charge;
};

// Returns a new rows x cols matrix of +0.0. Ends the process with "MALLOC error"
// when the memory cannot be had or does not fit in the run's budget.
Matrix matrix_create(std::uint32_t rows, std::uint32_t cols);

// Number of elements, rows x cols.
inline std::size_t matrix_size(const Matrix& m) { return std::size_t{m.rows} * m.cols; }

}  // namespace quolvend
