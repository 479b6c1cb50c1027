// The exact conversion paths of a number lying whole in memory, shared by the
// stream reader (numbers.cc) and the bulk reader (bulk_numbers.cc).
#pragma once

#include <cstddef>

namespace quolvend {

// Converts [-]digits[.digits][e[+-]digits] followed by white space, when its
// value is w x 10^e with w <= 2^24 and |e| <= 10. Then w and 10^|e| are exact
// floats, and one multiplication or division rounds exactly as strtof does.
// Returns the end of the number, or null when the spelling is not of that
// form (the caller then takes the general path). Relies on the text ending in
// white space or '\0'.
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
