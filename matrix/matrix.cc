#include "matrix/matrix.h"

#include <unistd.h>

#include <new>

#include "matrix/output.h"

namespace quolvend {

void out_of_memory() { die("MALLOC error"); }

void require_memory(std::uint64_t bytes) {
  long pages = ::sysconf(_SC_PHYS_PAGES);
  long page_size = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || page_size <= 0) return;  // unknown: let the allocator decide
  if (bytes / static_cast<std::uint64_t>(page_size) >= static_cast<std::uint64_t>(pages)) {
    out_of_memory();
  }
}

Matrix matrix_create(std::uint32_t rows, std::uint32_t cols) {
  Matrix m;
  m.rows = rows;
  m.cols = cols;
  // A matrix must fit in physical memory: it is filled in full when its
  // elements arrive, and if it cannot be held it is better refused now than
  // ended later by the kernel's out-of-memory killer. Within that, calloc hands
  // out fresh zero pages lazily, so nothing is written before the elements
  // arrive but the row table. 32-bit counts cannot overflow a 64-bit size.
  std::size_t count = std::size_t{rows} * cols;
  std::uint64_t bytes;
  if (__builtin_mul_overflow(std::uint64_t{count}, sizeof(float), &bytes) ||
      __builtin_add_overflow(bytes, std::uint64_t{rows} * sizeof(float*), &bytes)) {
    out_of_memory();
  }
  require_memory(bytes);
  if (rows > 0) {
    m.data.reset(new (std::nothrow) float*[rows]);
    if (!m.data) out_of_memory();
  }
  if (count > 0) {
    m.storage.reset(static_cast<float*>(std::calloc(count, sizeof(float))));
    if (!m.storage) out_of_memory();
  }
  float* row = m.storage.get();
  for (std::uint32_t r = 0; r < rows; ++r, row += cols) m.data[r] = row;
  return m;
}

}  // namespace quolvend
