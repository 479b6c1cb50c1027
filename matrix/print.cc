#include "matrix/print.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "matrix/output.h"

namespace quolvend {

char* format_fixed(char* out, float x, int decimals) {
  if (std::isnan(x)) {
    std::memcpy(out, "nan", 3);
    return out + 3;
  }
  static constexpr double kScale[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6};
  // A float has 24 significant bits and 10^6 needs 14 more beyond its power of
  // two, so x * 10^decimals is exact in double. Rounding it to an integer to
  // nearest, ties to even, is then exactly printf's rounding of x to
  // `decimals` places. Below 2^52 the fraction below is exact too.
  double scaled = std::fabs(static_cast<double>(x)) * kScale[decimals];
  if (!(scaled < 1e15)) {
    return std::to_chars(out, out + kFixedWidth, static_cast<double>(x), std::chars_format::fixed,
                         decimals)
        .ptr;
  }
  auto units = static_cast<std::uint64_t>(scaled);
  double rest = scaled - static_cast<double>(units);
  if (rest > 0.5 || (rest == 0.5 && units % 2 == 1)) ++units;
  auto unit = static_cast<std::uint64_t>(kScale[decimals]);
  if (std::signbit(x)) *out++ = '-';
  out = std::to_chars(out, out + kFixedWidth, units / unit).ptr;
  if (decimals > 0) {
    *out++ = '.';
    std::uint64_t fraction = units % unit;
    for (int i = decimals - 1; i >= 0; --i) {
      out[i] = static_cast<char>('0' + fraction % 10);
      fraction /= 10;
    }
    out += decimals;
  }
  return out;
}

void matrix_print(const Matrix& m) {
  // Rows are formatted into a local chunk and handed over in large pieces.
  constexpr std::size_t kChunk = 1 << 16;
  char chunk[kChunk];
  char* pos = chunk;
  for (std::uint32_t r = 0; r < m.rows; ++r) {
    const float* row = m.data[r];
    for (std::uint32_t c = 0; c < m.cols; ++c) {
      if (chunk + kChunk - pos < kFixedWidth + 2) {
        out_write({chunk, static_cast<std::size_t>(pos - chunk)});
        pos = chunk;
      }
      pos = format_fixed(pos, row[c], 3);
      *pos++ = '\t';
    }
    if (pos == chunk + kChunk) {
      out_write({chunk, kChunk});
      pos = chunk;
    }
    *pos++ = '\n';
  }
  out_write({chunk, static_cast<std::size_t>(pos - chunk)});
}

}  // namespace quolvend
