// strtof needs the whole prefix of a number in memory; instead, the prefix is
// recognised while it streams past and rewritten into a short spelling of the
// same value, which strtof converts.
#include "matrix/long_number.h"

#include <cstdlib>
#include <limits>
#include <string>

namespace quolvend {
namespace {

// A float's rounding is decided within its first ~115 significant decimal
// digits (every halfway point between floats has fewer), so the digits kept
// here, with a nonzero digit appended when any later digit is nonzero, round
// exactly as the full spelling does. The same holds for the hexadecimal digits.
constexpr std::size_t kDecimalDigits = 200;
constexpr std::size_t kHexDigits = 32;
constexpr std::int64_t kExponentLimit = 1'000'000'000;

bool word_ahead(Input& in, std::size_t at, const char* word) {
  for (std::size_t i = 0; word[i] != '\0'; ++i) {
    if (!is_letter(peek(in, at + i), word[i])) return false;
  }
  return true;
}

std::int64_t clamp_exponent(std::int64_t e) {
  return e > kExponentLimit ? kExponentLimit : e < -kExponentLimit ? -kExponentLimit : e;
}

// Consumes an exponent marker, sign and digits if a digit follows them, and
// adds the value (saturating) to `exponent`.
void consume_exponent(Input& in, char marker, std::int64_t& exponent) {
  if (!is_letter(peek(in, 0), marker)) return;
  std::size_t digits_at = 1;
  int sign = peek(in, 1);
  if (sign == '+' || sign == '-') digits_at = 2;
  if (!is_digit(peek(in, digits_at))) return;
  consume(in, digits_at);
  std::int64_t value = 0;
  for (int c; is_digit(c = peek(in, 0)); consume(in, 1)) {
    value = clamp_exponent(value * 10 + (c - '0'));
  }
  exponent = clamp_exponent(exponent + (sign == '-' ? -value : value));
}

// Consumes a mantissa of `is_digit_of` digits with an optional point, keeping
// the first `keep` significant digits in `kept`. `step` is the exponent change
// of one digit position; `exponent` counts the positions moved.
template <typename IsDigit>
bool consume_mantissa(Input& in, IsDigit is_digit_of, std::size_t keep, std::string& kept,
                      std::int64_t step, std::int64_t& exponent) {
  bool sticky = false;
  auto take = [&](int c, bool after_point) {
    if (kept.empty() && c == '0') {
      if (after_point) exponent -= step;
    } else if (kept.size() < keep) {
      kept += static_cast<char>(c);
      if (after_point) exponent -= step;
    } else {
      if (!after_point) exponent += step;
      sticky |= c != '0';
    }
  };
  for (int c; is_digit_of(c = peek(in, 0)); consume(in, 1)) take(c, false);
  if (peek(in, 0) == '.') {
    consume(in, 1);
    for (int c; is_digit_of(c = peek(in, 0)); consume(in, 1)) take(c, true);
  }
  return sticky;
}

std::string finish(std::string text, std::string& kept, bool sticky, char marker, std::int64_t step,
                   std::int64_t exponent) {
  text += kept.empty() ? "0" : kept;
  if (sticky) {
    text += '1';
    exponent -= step;
  }
  text += marker;
  text += std::to_string(clamp_exponent(exponent));
  return text;
}

}  // namespace

Scan scan_long_float(Input& in, float& value) {
  std::size_t at = 0;
  int first = peek(in, 0);
  if (first == '+' || first == '-') at = 1;
  float sign = first == '-' ? -1.0f : 1.0f;
  std::string text = first == '-' ? "-" : "";

  if (word_ahead(in, at, "inf")) {
    consume(in, at + 3);
    if (word_ahead(in, 0, "inity")) consume(in, 5);
    value = sign * std::numeric_limits<float>::infinity();
    return Scan::value;
  }
  if (word_ahead(in, at, "nan")) {
    consume(in, at + 3);
    value = std::numeric_limits<float>::quiet_NaN();
    if (peek(in, 0) == '(') {
      // "nan(chars)" is one NaN only if the parenthesis closes. Either way the
      // value is NaN; if it does not close, the rest of the token (from the
      // parenthesis on) starts no number, which broken_token records.
      consume(in, 1);
      while (is_nan_name_char(peek(in, 0))) consume(in, 1);
      if (peek(in, 0) == ')') {
        consume(in, 1);
      } else {
        in.broken_token = true;
      }
    }
    return Scan::value;
  }

  std::string kept;
  std::int64_t exponent = 0;
  if (peek(in, at) == '0' && is_letter(peek(in, at + 1), 'x') &&
      (is_hex_digit(peek(in, at + 2)) ||
       (peek(in, at + 2) == '.' && is_hex_digit(peek(in, at + 3))))) {
    consume(in, at + 2);
    bool sticky = consume_mantissa(in, is_hex_digit, kHexDigits, kept, 4, exponent);
    consume_exponent(in, 'p', exponent);
    text = finish(text + "0x", kept, sticky, 'p', 4, exponent);
  } else {
    int c = peek(in, at);
    if (!is_digit(c) && !(c == '.' && is_digit(peek(in, at + 1)))) return Scan::mismatch;
    consume(in, at);
    bool sticky = consume_mantissa(in, is_digit, kDecimalDigits, kept, 1, exponent);
    consume_exponent(in, 'e', exponent);
    text = finish(text, kept, sticky, 'e', 1, exponent);
  }
  value = std::strtof(text.c_str(), nullptr);
  return Scan::value;
}

}  // namespace quolvend
