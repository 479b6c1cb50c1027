// Numbers lying whole in memory: the fast path of the common spelling, and
// the span of any other, found by the grammar alone and converted by
// from_chars or strtof.
#include "matrix/exact_numbers.h"

#include <charconv>
#include <cstdlib>
#include <string>

#include "matrix/number_grammar.h"

namespace quolvend {

const char* convert_short_decimal(const char* p, float& value) {
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
  float f;
  if (!is_space(*s) || !fast_path(w, exponent, f)) return nullptr;
  value = *p == '-' ? -f : f;
  return s;
}

namespace {

// The grammar's cursor over text in memory, where a number is only measured.
struct SpanCursor {
  const char* p;
  const char* end;
  NumberSpan span;

  int at(std::size_t i) {
    if (p + span.length + i >= end) {
      span.hit_end = true;
      return -1;
    }
    return static_cast<unsigned char>(p[span.length + i]);
  }
  void take(std::size_t n) { span.length += n; }
  void begin(NumberForm form) { span.decimal = form == NumberForm::decimal; }
  void mantissa_digit(int, bool) {}
  void exponent_digit(bool, int) {}
  void nan_name() {
    std::size_t k = 1;
    while (is_nan_name_char(at(k))) ++k;
    if (at(k) == ')') take(k + 1);
  }
};

}  // namespace

NumberSpan number_span(const char* p, const char* end) {
  SpanCursor cursor{p, end, {}};
  recognise_number(cursor);
  return cursor.span;
}

float convert_span(const char* p, const NumberSpan& span) {
  if (span.decimal) {
    // from_chars is correctly rounded, as strtof is, and faster; it reports
    // overflow and underflow instead of returning strtof's value, so those
    // go to strtof.
    float v;
    auto [ptr, ec] = std::from_chars(p, p + span.length, v);
    if (ec == std::errc() && ptr == p + span.length) return v;
  }
  std::string text(p, span.length);
  return std::strtof(text.c_str(), nullptr);
}

}  // namespace quolvend
