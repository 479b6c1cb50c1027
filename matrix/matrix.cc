#include "matrix/matrix.h"

#include "process/exits.h"

namespace quolvend {

Matrix matrix_create(std::uint32_t rows, std::uint32_t cols) {
  Matrix m;
  m.rows = rows;
  m.cols = cols;
  // The elements are charged in full, since they are all written once they
  // arrive; calloc hands out fresh zero pages lazily, so nothing is touched
  // before then. 32-bit counts cannot overflow a 64-bit size.
  std::size_t count = std::size_t{rows} * cols;
  m.charge = MemoryCharge(bytes_for(count, sizeof(float)));
  if (count > 0) {
    m.storage.reset(static_cast<float*>(std::calloc(count, sizeof(float))));
    if (!m.storage) out_of_memory();
    advise_huge_pages(m.storage.get(), count * sizeof(float));
  }
  m.data = RowTable{m.storage.get(), cols};
  return m;
}

}  // namespace quolvend
