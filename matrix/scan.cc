// How a number is read. Every path consumes exactly the prefix strtof would,
// and gives strtof's value:
//   1. convert_short_decimal: the common spelling, [-]digits[.digits][e..]
//      ending in white space, with at most 2^24 as its digits and a small
//      exponent: one exact single-precision multiply or divide.
//   2. number_span, then convert_span: anything else that lies whole in the
//      buffer. The span is found by the grammar alone (never the rest of the
//      word); the text goes to from_chars, or strtof for hexadecimal, inf,
//      nan and out-of-range values.
//   3. scan_long_float (long_number.cc): a number longer than the buffer,
//      recognised as it streams past and rewritten into a short spelling.
// Paths 1 and 2 are exact_numbers.h's; the bulk reader (bulk_numbers.h) finds
// whole stretches of words at once and converts the commonest spelling
// itself, the rest with them too.
#include "matrix/scan.h"

#include <limits>

#include "matrix/exact_numbers.h"
#include "matrix/long_number.h"
#include "matrix/number_grammar.h"

namespace quolvend {

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

Scan scan_float(Input& in, float& value) {
  if (in.broken_token) return Scan::mismatch;
  if (!skip_space(in)) return Scan::end;
  if (const char* stop = convert_short_decimal(in.buffer.get() + in.pos, value)) {
    in.pos = static_cast<std::size_t>(stop - in.buffer.get());
    return Scan::value;
  }
  // Only the number itself is looked at, never the rest of its word, so a
  // word packed with numbers reads in time linear in its length.
  for (;;) {
    const char* p = in.buffer.get() + in.pos;
    NumberSpan span = number_span(p, in.buffer.get() + in.end);
    if (span.hit_end && !in.exhausted) {
      if (read_more(in) || in.exhausted) continue;
      return scan_long_float(in, value);  // the number fills the whole buffer
    }
    if (span.length == 0) return Scan::mismatch;
    value = convert_span(p, span);
    in.pos += span.length;
    return Scan::value;
  }
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
