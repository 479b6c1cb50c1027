// strtof needs the whole prefix of a number in memory; instead, the prefix is
// recognised while it streams past and rewritten into a short spelling of the
// same value, which strtof converts.
#include "matrix/long_number.h"

#include <cstdlib>
#include <limits>
#include <string>

#include "matrix/input.h"
#include "matrix/number_grammar.h"
#include "matrix/scan.h"

namespace quolvend {
namespace {

// A float's rounding is decided within its first ~115 significant decimal
// digits (every halfway point between floats has fewer), so the digits kept
// here, with a nonzero digit appended when any later digit is nonzero, round
// exactly as the full spelling does. The same holds for the hexadecimal digits.
constexpr std::size_t kDecimalDigits = 200;
constexpr std::size_t kHexDigits = 32;
constexpr std::int64_t kExponentLimit = 1'000'000'000;

std::int64_t clamp_exponent(std::int64_t e) {
  return e > kExponentLimit ? kExponentLimit : e < -kExponentLimit ? -kExponentLimit : e;
}

// The grammar's cursor over a stream, where a number is consumed as it is
// recognised: the first significant mantissa digits are kept, with a sticky
// nonzero digit for any later nonzero one, and the exponent is summed.
struct StreamCursor {
  explicit StreamCursor(Input& input) : in(input) {}

  Input& in;
  std::size_t keep = kDecimalDigits;  // significant digits to keep
  std::int64_t step = 1;              // exponent change of one digit place
  std::string kept;
  bool sticky = false;
  std::int64_t shift = 0;    // places the point moved past kept digits
  std::int64_t written = 0;  // the exponent as written
  bool negative = false;     // ... and its sign

  int at(std::size_t i) { return peek(in, i); }
  void take(std::size_t n) { consume(in, n); }
  void begin(NumberForm form) {
    keep = form == NumberForm::hexadecimal ? kHexDigits : kDecimalDigits;
    step = form == NumberForm::hexadecimal ? 4 : 1;
  }
  void mantissa_digit(int c, bool after_point) {
    if (kept.empty() && c == '0') {
      if (after_point) shift -= step;
    } else if (kept.size() < keep) {
      kept += static_cast<char>(c);
      if (after_point) shift -= step;
    } else {
      if (!after_point) shift += step;
      sticky |= c != '0';
    }
  }
  void exponent_digit(bool minus, int c) {
    negative = minus;
    written = clamp_exponent(written * 10 + (c - '0'));
  }
  // "nan(chars)" is one NaN only if the parenthesis closes. Either way the
  // value is NaN; if it does not close, the rest of the token (from the
  // parenthesis on) starts no number, which broken_token records.
  void nan_name() {
    take(1);
    while (is_nan_name_char(at(0))) take(1);
    if (at(0) == ')') {
      take(1);
    } else {
      in.broken_token = true;
    }
  }

  // The number rewritten: `prefix` (sign, "0x"), the kept digits, the marker
  // and the exponent.
  std::string spelling(std::string text, char marker) const {
    std::int64_t e = clamp_exponent(shift + (negative ? -written : written));
    text += kept.empty() ? "0" : kept;
    if (sticky) {
      text += '1';
      e -= step;
    }
    text += marker;
    text += std::to_string(clamp_exponent(e));
    return text;
  }
};

}  // namespace

Scan scan_long_float(Input& in, float& value) {
  const int first = peek(in, 0);
  const std::string sign = first == '-' ? "-" : "";
  StreamCursor cursor(in);
  switch (recognise_number(cursor)) {
    case NumberForm::none:
      return Scan::mismatch;
    case NumberForm::infinity:
      value = (first == '-' ? -1.0f : 1.0f) * std::numeric_limits<float>::infinity();
      return Scan::value;
    case NumberForm::nan:
      value = std::numeric_limits<float>::quiet_NaN();
      return Scan::value;
    case NumberForm::hexadecimal:
      value = std::strtof(cursor.spelling(sign + "0x", 'p').c_str(), nullptr);
      return Scan::value;
    case NumberForm::decimal:
      value = std::strtof(cursor.spelling(sign, 'e').c_str(), nullptr);
      return Scan::value;
  }
  return Scan::mismatch;
}

}  // namespace quolvend
