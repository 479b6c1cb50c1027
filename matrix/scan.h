// The number conversions of the matrix text format, over a byte source.
//
// Text is a sequence of tokens separated by white space. Each conversion skips
// white space, then consumes the longest prefix of the next token that forms a
// number and leaves the rest of the token unread; if no prefix forms a number
// it consumes nothing, and the caller discards the token with skip_token. The
// prefixes are those strtoul (base 10), strtof and strtol (base 0) accept.
#pragma once

#include <cstddef>
#include <cstdint>

#include "matrix/input.h"

namespace quolvend {

enum class Scan {
  value,     // a number converted
  mismatch,  // the next token does not start with a number; nothing consumed
  end,       // the stream ended before any token
};

// "%u": optional sign, decimal digits. Values wrap as strtoul's result stored
// in 32 bits does: a leading minus wraps modulo 2^32, overflow gives 2^32 - 1.
Scan scan_count(Input& in, std::uint32_t& value);

// "%f": the longest prefix strtof accepts (decimal, hexadecimal, inf, nan).
Scan scan_float(Input& in, float& value);

// "%i": optional sign, then hexadecimal after 0x, octal after a leading 0, or
// decimal. The value saturates at +-2^62, so anything outside 32 bits stays
// outside.
Scan scan_integer(Input& in, std::int64_t& value);

// "%*s": discards the next token. Returns false when the stream has ended.
bool skip_token(Input& in);

}  // namespace quolvend
