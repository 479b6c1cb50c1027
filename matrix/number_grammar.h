// The grammar of a number as strtof reads it, recognised in one place for
// every reader: the buffered reader measures a number with it before
// converting, and the long-number reader rewrites a number longer than its
// buffer as it streams past.
//
//   number   = [sign] (infinity | nan | hex | decimal)
//   infinity = "inf" ["inity"]                      (any case)
//   nan      = "nan" ["(" name-chars ")"]            (any case)
//   hex      = "0x" mantissa(hex digits) ["p" [sign] digits]
//   decimal  = mantissa(digits) ["e" [sign] digits]
//   mantissa = digits ["." digits], at least one digit in all
//
// The longest prefix of a word that matches is the number; the rest of the
// word is read next. "0x" with no hexadecimal digit after it is the number 0
// followed by "x...".
#pragma once

#include <cstddef>

namespace quolvend {

// The character classes of the grammar, in the C locale.
inline bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool is_digit(int c) { return c >= '0' && c <= '9'; }
inline bool is_hex_digit(int c) {
  return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
// c is the letter `lower` in either case ("inf", "nan", the exponent markers).
inline bool is_letter(int c, char lower) { return c == lower || c == lower - ('a' - 'A'); }
// A character of the name in "nan(name)".
inline bool is_nan_name_char(int c) {
  return c == '_' || is_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

enum class NumberForm { none, infinity, nan, hexadecimal, decimal };

// Recognises the number at a cursor, which provides:
//   int at(std::size_t i)   the byte i places ahead (i < 16), -1 past the end;
//   void take(std::size_t n)   the next n bytes belong to the number;
//   void begin(NumberForm f)   a mantissa of form f (hexadecimal or decimal)
//                              follows;
//   void mantissa_digit(int c, bool after_point)   after each mantissa digit;
//   void exponent_digit(bool negative, int c)   after each exponent digit;
//   void nan_name()   at "(" after "nan": takes the name if it closes.
// Returns the form of the number, having taken all of it; or none, having
// taken nothing.
template <typename Cursor>
NumberForm recognise_number(Cursor& c) {
  auto word = [&](std::size_t at, const char* letters) {
    for (std::size_t i = 0; letters[i] != '\0'; ++i) {
      if (!is_letter(c.at(at + i), letters[i])) return false;
    }
    return true;
  };
  auto mantissa = [&](auto is_digit_of) {
    for (int d; is_digit_of(d = c.at(0)); c.take(1)) c.mantissa_digit(d, false);
    if (c.at(0) == '.') {
      c.take(1);
      for (int d; is_digit_of(d = c.at(0)); c.take(1)) c.mantissa_digit(d, true);
    }
  };
  auto exponent = [&](char marker) {
    if (!is_letter(c.at(0), marker)) return;
    const int sign = c.at(1);
    const std::size_t digits = sign == '+' || sign == '-' ? 2 : 1;
    if (!is_digit(c.at(digits))) return;
    c.take(digits);
    for (int d; is_digit(d = c.at(0)); c.take(1)) c.exponent_digit(sign == '-', d);
  };

  const std::size_t sign = c.at(0) == '+' || c.at(0) == '-' ? 1 : 0;
  if (word(sign, "inf")) {
    c.take(sign + 3);
    if (word(0, "inity")) c.take(5);
    return NumberForm::infinity;
  }
  if (word(sign, "nan")) {
    c.take(sign + 3);
    if (c.at(0) == '(') c.nan_name();
    return NumberForm::nan;
  }
  if (c.at(sign) == '0' && is_letter(c.at(sign + 1), 'x') &&
      (is_hex_digit(c.at(sign + 2)) || (c.at(sign + 2) == '.' && is_hex_digit(c.at(sign + 3))))) {
    c.take(sign + 2);
    c.begin(NumberForm::hexadecimal);
    mantissa(is_hex_digit);
    exponent('p');
    return NumberForm::hexadecimal;
  }
  if (is_digit(c.at(sign)) || (c.at(sign) == '.' && is_digit(c.at(sign + 1)))) {
    c.take(sign);
    c.begin(NumberForm::decimal);
    mantissa(is_digit);
    exponent('e');
    return NumberForm::decimal;
  }
  return NumberForm::none;
}

}  // namespace quolvend
