// The one buffered standard-output stream that every prompt, result and message
// passes through, in order.
#pragma once

#include <string_view>

namespace quolvend {

// Appends text to standard output's buffer.
void out_write(std::string_view text);

// Appends text and a newline, as puts does.
void out_line(std::string_view text);

// Hands everything buffered to the system. Called before the program waits on
// standard input, so that a prompt is always visible. A failed write is
// remembered: see out_failed.
void out_flush();

// Whether any write to standard output has failed.
bool out_failed();

}  // namespace quolvend
