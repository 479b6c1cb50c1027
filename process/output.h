// The one buffered standard-output stream that every prompt, result and message
// passes through, in order.
#pragma once

#include <cstddef>
#include <string_view>

namespace quolvend {

// Appends text to standard output's buffer; large text goes out at once,
// after what the buffer holds, without a copy.
void out_write(std::string_view text);

// Appends text and a newline, as puts does.
void out_line(std::string_view text);

// The most out_reserve may be asked for.
inline constexpr std::size_t kOutReserveMost = std::size_t{1} << 16;

// Returns room for `bytes` (at most kOutReserveMost) more in the buffer, to
// be written in place and then taken with out_commit: text is formatted
// straight into the buffer, with no copy.
char* out_reserve(std::size_t bytes);

// Takes what was written from out_reserve's pointer up to `end`.
void out_commit(const char* end);

// Hands everything buffered to the system. Called before the program waits on
// standard input, so that a prompt is always visible. A failed write is
// remembered: see out_failed.
void out_flush();

// Whether any write to standard output has failed.
bool out_failed();

}  // namespace quolvend
