#include "matrix/print.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "process/memory.h"
#include "process/output.h"
#include "process/parallel.h"

namespace quolvend {

namespace {

// The eight decimal digits of v < 10^8, zero-padded, one a byte in memory
// order (little-endian), as numbers 0 to 9: split into fours, twos and ones
// lane by lane, with multiplications standing in for the divisions.
std::uint64_t eight_digits(std::uint32_t v) {
  std::uint64_t x = (v / 10000) | std::uint64_t{v % 10000} << 32;
  std::uint64_t high = ((x * 10486) >> 20) & 0x0000007F0000007F;  // / 100, each lane < 10^4
  x = high | (x - high * 100) << 16;
  high = ((x * 103) >> 10) & 0x000F000F000F000F;  // / 10, each lane < 100
  return high | (x - high * 10) << 8;
}

// ".000" to ".999".
struct Fractions {
  char text[1000][4];
  constexpr Fractions() : text() {
    for (int i = 0; i < 1000; ++i) {
      text[i][0] = '.';
      text[i][1] = static_cast<char>('0' + i / 100);
      text[i][2] = static_cast<char>('0' + i / 10 % 10);
      text[i][3] = static_cast<char>('0' + i % 10);
    }
  }
};
constexpr Fractions kFractions;

// "%.3f" of |x| below 4294967.296, in 32-bit integers and without a branch
// on the value: the sign, the integer part's digits, the fraction from a
// table. Writes up to 8 bytes past the end it returns: a sign, eight digits
// stored at once and four bytes of fraction, within an element's room.
static_assert(1 + 8 + 4 <= kFixedWidth, "an element's room holds the whole eight-byte store");
[[gnu::always_inline]] inline char* format_three_decimals(char* out, float x, double scaled) {
  // Below 2^52, adding and taking away 2^52 rounds to an integer, ties to even.
  constexpr double kRound = 4503599627370496.0;
  const auto units = static_cast<std::uint32_t>((scaled + kRound) - kRound);
  const std::uint32_t whole = units / 1000;
  *out = '-';
  out += std::signbit(x);
  // The leading zero digits go, all but the last.
  const std::uint64_t digits = eight_digits(whole);
  const int zeros = digits == 0 ? 7 : std::countr_zero(digits) / 8;
  const std::uint64_t text = (digits | 0x3030303030303030) >> (8 * zeros);
  std::memcpy(out, &text, 8);
  out += 8 - zeros;
  std::memcpy(out, kFractions.text[units - whole * 1000], 4);
  return out + 4;
}

}  // namespace

char* format_fixed(char* out, float x, int decimals) {
  static constexpr double kScale[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6};
  // A float has 24 significant bits and 10^6 needs 14 more beyond its power of
  // two, so x * 10^decimals is exact in double. Rounding it to an integer to
  // nearest, ties to even, is then exactly printf's rounding of x to
  // `decimals` places.
  const double scaled = std::fabs(static_cast<double>(x)) * kScale[decimals];
  if (decimals == 3 && scaled < 4294967296.0) return format_three_decimals(out, x, scaled);
  if (std::isnan(x)) {
    std::memcpy(out, "nan", 3);
    return out + 3;
  }
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

namespace {

// Elements one thread formats at a time in the parallel path.
constexpr std::size_t kPiece = std::size_t{1} << 15;
// What one thread gets through: about a number formatted and written out in
// 10 nanoseconds.
constexpr Rate kPrintRate{1, 10};

// Formats elements [first, last) of m (row-major) into out, each followed by a
// tab and the last of each row by a newline too; returns the end.
char* format_elements(const Matrix& m, std::size_t first, std::size_t last, char* out) {
  const float* element = m.storage.get();
  std::size_t col = first % m.cols;
  for (std::size_t i = first; i < last; ++i) {
    out = format_fixed(out, element[i], 3);
    *out++ = '\t';
    if (++col == m.cols) {
      *out++ = '\n';
      col = 0;
    }
  }
  return out;
}

}  // namespace

void print_determinant(float value) {
  char line[kFixedWidth + 32] = "Determinant = ";
  char* end = format_fixed(line + 14, value, 6);
  *end++ = '\n';
  out_write({line, static_cast<std::size_t>(end - line)});
}

void matrix_print(const Matrix& m, const Compute& compute) {
  const std::size_t count = matrix_size(m);
  if (count == 0) {
    // Rows with no columns are empty lines.
    char lines[256];
    std::memset(lines, '\n', sizeof lines);
    for (std::size_t left = m.rows; left > 0;) {
      std::size_t now = std::min(left, sizeof lines);
      out_write({lines, now});
      left -= now;
    }
    return;
  }
  std::size_t parts = split_parts(compute.threads, count, kPrintRate, (count - 1) / kPiece + 1);
  MemoryCharge buffers;
  if (parts > 1) buffers = charge_parts(parts, kPiece * (kFixedWidth + 2));
  if (parts > 1) {
    // Each thread formats a piece into its own buffer; the pieces go out in order.
    std::vector<std::unique_ptr<char[]>> text(parts);
    std::vector<std::size_t> length(parts);
    for (auto& buffer : text) buffer.reset(new char[kPiece * (kFixedWidth + 2)]);
    for (std::size_t first = 0; first < count; first += parts * kPiece) {
      parallel_for(parts, [&](std::size_t t) {
        std::size_t begin = std::min(count, first + t * kPiece);
        std::size_t end = std::min(count, begin + kPiece);
        length[t] =
            static_cast<std::size_t>(format_elements(m, begin, end, text[t].get()) - text[t].get());
      });
      for (std::size_t t = 0; t < parts; ++t) out_write({text[t].get(), length[t]});
    }
    return;
  }
  // Formatted straight into the output buffer, a batch of elements at a time.
  constexpr std::size_t kBatch = kOutReserveMost / (kFixedWidth + 2);
  for (std::size_t first = 0; first < count; first += kBatch) {
    const std::size_t last = std::min(count, first + kBatch);
    out_commit(format_elements(m, first, last, out_reserve((last - first) * (kFixedWidth + 2))));
  }
}

}  // namespace quolvend
