// The exact conversion paths of a number lying whole in memory, shared by the
// stream reader (scan.h) and the bulk reader (bulk_numbers.h). Each gives
// strtof's value for exactly the prefix strtof would consume.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quolvend {

// Clinger's fast path in single precision: a mantissa w <= 2^24 and 10^|e|
// for |e| <= 10 are both exact floats, so w x 10^e is one correctly rounded
// multiplication or division, which rounds exactly as strtof does.
inline constexpr std::uint64_t kFastPathMantissaMost = std::uint64_t{1} << 24;
inline constexpr int kFastPathExponentMost = 10;

// The value w x 10^e by the fast path, or false when w or e is beyond it.
inline bool fast_path(std::uint64_t w, int e, float& value) {
  static constexpr float kPowers[kFastPathExponentMost + 1] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                                               1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
  if (w > kFastPathMantissaMost || e < -kFastPathExponentMost || e > kFastPathExponentMost) {
    return false;
  }
  const auto f = static_cast<float>(w);
  value = e < 0 ? f / kPowers[-e] : f * kPowers[e];
  return true;
}

// Converts [-]digits[.digits][e[+-]digits] followed by white space, when its
// value w x 10^e takes the fast path. Returns the end of the number, or null when the spelling is
// not of that form (the caller then takes the general path). Relies on the text ending in white
// space or '\0'.
const char* convert_short_decimal(const char* p, float& value);

// The longest prefix of a text that strtof converts, found without
// converting: its length, and whether it is a plain decimal. `hit_end` tells
// that the scan looked at `end` or past it, so more text could lengthen it.
struct NumberSpan {
  std::size_t length = 0;
  bool decimal = false;
  bool hit_end = false;
};
NumberSpan number_span(const char* p, const char* end);

// Converts the prefix that number_span found, as strtof would.
float convert_span(const char* p, const NumberSpan& span);

}  // namespace quolvend
