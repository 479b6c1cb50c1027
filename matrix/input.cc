#include "matrix/input.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "matrix/output.h"

namespace quolvend {

Input::Input(int fd, bool interactive, bool owns_fd, std::size_t capacity)
    : fd(fd),
      interactive(interactive),
      owns_fd(owns_fd),
      capacity(capacity < 16 ? 16 : capacity),
      buffer(new char[this->capacity + 1]) {
  buffer[0] = '\0';
}

Input::~Input() {
  if (owns_fd && fd >= 0) ::close(fd);
}

bool read_more(Input& in) {
  if (in.exhausted) return false;
  char* buffer = in.buffer.get();
  if (in.pos > 0) {
    std::memmove(buffer, buffer + in.pos, in.end - in.pos);
    in.end -= in.pos;
    in.pos = 0;
  }
  if (in.end == in.capacity) return false;
  if (in.interactive) out_flush();
  for (;;) {
    ssize_t n = ::read(in.fd, buffer + in.end, in.capacity - in.end);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A read error ends the stream just as end of file does.
      in.exhausted = true;
      buffer[in.end] = '\0';
      return false;
    }
    in.end += static_cast<std::size_t>(n);
    buffer[in.end] = '\0';
    return true;
  }
}

namespace {

// Skips white space; returns false when the stream ends first.
bool skip_space(Input& in) {
  for (;;) {
    const char* buffer = in.buffer.get();
    while (in.pos < in.end && is_space(buffer[in.pos])) ++in.pos;
    if (in.pos < in.end) return true;
    if (!read_more(in)) return false;
  }
}

int digit_value(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// Consumes the digits of `base` ahead and returns their value, saturating at
// `limit`.
std::uint64_t consume_digits(Input& in, int base, std::uint64_t limit, bool& saturated) {
  std::uint64_t value = 0;
  saturated = false;
  for (int d; (d = digit_value(peek(in, 0))) < base; consume(in, 1)) {
    if (value > (limit - static_cast<std::uint64_t>(d)) / static_cast<std::uint64_t>(base)) {
      saturated = true;
      value = limit;
    } else if (!saturated) {
      value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
    }
  }
  return value;
}

}  // namespace

Scan scan_count(Input& in, std::uint32_t& value) {
  if (in.broken_token) return Scan::mismatch;
  if (!skip_space(in)) return Scan::end;
  std::size_t sign = 0;
  int c = peek(in, 0);
  if (c == '+' || c == '-') sign = 1;
  if (!is_digit(peek(in, sign))) return Scan::mismatch;
  consume(in, sign);
  bool overflow;
  std::uint64_t magnitude =
      consume_digits(in, 10, std::numeric_limits<std::uint64_t>::max(), overflow);
  // strtoul: a minus negates in unsigned arithmetic; overflow gives the maximum.
  std::uint64_t result =
      overflow ? std::numeric_limits<std::uint64_t>::max() : (c == '-' ? 0 - magnitude : magnitude);
  value = static_cast<std::uint32_t>(result);
  return Scan::value;
}

Scan scan_integer(Input& in, std::int64_t& value) {
  if (in.broken_token) return Scan::mismatch;
  if (!skip_space(in)) return Scan::end;
  std::size_t i = 0;
  int c = peek(in, 0);
  if (c == '+' || c == '-') i = 1;
  if (!is_digit(peek(in, i))) return Scan::mismatch;
  int base = 10;
  if (peek(in, i) == '0') {
    int x = peek(in, i + 1);
    if ((x == 'x' || x == 'X') && digit_value(peek(in, i + 2)) < 16) {
      base = 16;
      i += 2;
    } else {
      base = 8;
    }
  }
  consume(in, i);
  bool saturated;
  auto magnitude =
      static_cast<std::int64_t>(consume_digits(in, base, std::uint64_t{1} << 62, saturated));
  value = c == '-' ? -magnitude : magnitude;
  return Scan::value;
}

namespace {

// Converts the commonest spelling, [-]digits[.digits][e[+-]digits] followed by
// white space, when its value is w x 10^e with w <= 2^24 and |e| <= 10. Then w
// and 10^|e| are exact floats, and one multiplication or division rounds
// exactly as strtof does. Returns the end of the number, or null when the
// spelling is not of that form (the caller then takes the general path).
// Relies on the text ending in white space or '\0'.
const char* convert_short_decimal(const char* p, float& value) {
  static constexpr float kPowers[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                      1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
  const char* s = p + (*p == '-');
  std::uint64_t w = 0;
  const char* digits = s;
  for (; is_digit(*s); ++s) w = w * 10 + static_cast<std::uint64_t>(*s - '0');
  std::ptrdiff_t count = s - digits;
  int exponent = 0;
  if (*s == '.') {
    const char* fraction = ++s;
    for (; is_digit(*s); ++s) w = w * 10 + static_cast<std::uint64_t>(*s - '0');
    exponent = -static_cast<int>(s - fraction);
    count += s - fraction;
  }
  if (count == 0 || count > 19) return nullptr;
  if (*s == 'e' || *s == 'E') {
    const char* e = s + 1;
    bool negative = *e == '-';
    if (*e == '+' || *e == '-') ++e;
    int magnitude = 0;
    const char* first = e;
    for (; is_digit(*e) && e - first < 4; ++e) magnitude = magnitude * 10 + (*e - '0');
    if (e == first || is_digit(*e)) return nullptr;
    exponent += negative ? -magnitude : magnitude;
    s = e;
  }
  if (!is_space(*s) || w > (std::uint64_t{1} << 24) || exponent < -10 || exponent > 10) {
    return nullptr;
  }
  auto f = static_cast<float>(w);
  f = exponent < 0 ? f / kPowers[-exponent] : f * kPowers[exponent];
  value = *p == '-' ? -f : f;
  return s;
}

}  // namespace

Scan scan_float(Input& in, float& value) {
  if (in.broken_token) return Scan::mismatch;
  if (!skip_space(in)) return Scan::end;
  if (const char* stop = convert_short_decimal(in.buffer.get() + in.pos, value)) {
    in.pos = static_cast<std::size_t>(stop - in.buffer.get());
    return Scan::value;
  }
  // Find where the token ends, so that the conversion sees all of it.
  std::size_t length = 0;
  for (;;) {
    const char* buffer = in.buffer.get();
    std::size_t t = in.pos + length;
    while (t < in.end && !is_space(buffer[t])) ++t;
    length = t - in.pos;
    if (t < in.end || in.exhausted) break;
    if (!read_more(in) && !in.exhausted) return scan_long_float(in, value);
  }
  // The byte after the token is white space or the terminating '\0', so the
  // libc conversion cannot run past it.
  const char* p = in.buffer.get() + in.pos;
  const char* q = p + length;
  std::size_t sign = *p == '-' ? 1 : 0;
  if (is_digit(p[sign]) || (p[sign] == '.' && is_digit(p[sign + 1]))) {
    // Other plain decimals: from_chars is correctly rounded, as strtof is, and
    // faster. It does not read 0x as hexadecimal, and reports overflow and
    // underflow instead of returning strtof's value: leave those to strtof.
    float v;
    auto [ptr, ec] = std::from_chars(p, q, v);
    bool hex = ptr == p + sign + 1 && p[sign] == '0' && (*ptr == 'x' || *ptr == 'X');
    if (ec == std::errc() && !hex) {
      value = v;
      in.pos += static_cast<std::size_t>(ptr - p);
      return Scan::value;
    }
  }
  char* stop;
  float v = std::strtof(p, &stop);
  if (stop == p) return Scan::mismatch;
  value = v;
  in.pos += static_cast<std::size_t>(stop - p);
  return Scan::value;
}

bool skip_token(Input& in) {
  if (in.broken_token) {
    // The token began earlier; what is left of it goes, and no more.
    in.broken_token = false;
  } else if (!skip_space(in)) {
    return false;
  }
  for (;;) {
    const char* buffer = in.buffer.get();
    while (in.pos < in.end && !is_space(buffer[in.pos])) ++in.pos;
    if (in.pos < in.end || !read_more(in)) return true;
  }
}

}  // namespace quolvend
