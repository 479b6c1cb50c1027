// Walking a block of a product's result in register tiles, for the kernels
// of every instruction set.
#pragma once

#include <algorithm>
#include <cstddef>

namespace quolvend {

// Calls tile(a_panel, b_panel, c_tile, ldc_tile) for each kRows x kCols tile
// of c (height x width, row stride ldc), where the packed operands hold
// panels of kRows rows of a and kCols columns of b, each `depth` long. A tile
// cut by the edge of c is worked on in a full-size copy, so `tile` always
// sees a whole one.
template <std::size_t kRows, std::size_t kCols, typename T, typename Tile>
[[gnu::always_inline]] inline void for_each_tile(std::size_t height, std::size_t width,
                                                 std::size_t depth, const T* a_packed,
                                                 const T* b_packed, T* c, std::size_t ldc,
                                                 Tile tile) {
  T edge[kRows * kCols];
  for (std::size_t j = 0; j < width; j += kCols) {
    const T* b_panel = b_packed + j * depth;
    const std::size_t w = std::min(kCols, width - j);
    for (std::size_t i = 0; i < height; i += kRows) {
      const T* a_panel = a_packed + i * depth;
      const std::size_t h = std::min(kRows, height - i);
      T* whole = c + i * ldc + j;
      if (h == kRows && w == kCols) {
        tile(a_panel, b_panel, whole, ldc);
        continue;
      }
      for (std::size_t r = 0; r < h; ++r) std::copy_n(whole + r * ldc, w, edge + r * kCols);
      tile(a_panel, b_panel, edge, kCols);
      for (std::size_t r = 0; r < h; ++r) std::copy_n(edge + r * kCols, w, whole + r * ldc);
    }
  }
}

}  // namespace quolvend
