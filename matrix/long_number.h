// Numbers spelled over more than a buffer's length.
#pragma once

namespace quolvend {

struct Input;
enum class Scan;

// Converts a number whose token is longer than the buffer, streaming it, with
// the value strtof gives the whole spelling. Called with white space skipped
// and a token ahead. Memory stays bounded whatever the input holds.
Scan scan_long_float(Input& in, float& value);

}  // namespace quolvend
