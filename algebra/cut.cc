#include "algebra/cut.h"

#include <algorithm>

#include "process/parallel.h"

namespace quolvend {

namespace {

// What one thread gets through: about an element a nanosecond, the page
// faults of the result included.
constexpr Rate kCopyRate{1, 1};

}  // namespace

Matrix matrix_cut(const Matrix& m, std::uint32_t row, std::uint32_t col, const Compute& compute) {
  Matrix cut = matrix_create(m.rows - 1, m.cols - 1);
  // Bands of rows over the threads: the result's fresh pages, first written
  // here, are most of the work.
  const std::uint32_t rows = cut.rows;
  const std::size_t parts =
      split_parts(compute.threads, matrix_size(cut), kCopyRate, rows / 64 + 1);
  parallel_for(parts, [&](std::size_t part) {
    const auto end = static_cast<std::uint32_t>(split_point(rows, parts, part + 1));
    for (auto to = static_cast<std::uint32_t>(split_point(rows, parts, part)); to < end; ++to) {
      const float* source = m.data[to < row ? to : to + 1];
      float* target = std::copy(source, source + col, cut.data[to]);
      std::copy(source + col + 1, source + m.cols, target);
    }
  });
  return cut;
}

}  // namespace quolvend
