// Reading and writing a file descriptor without stdio, whatever kind of file
// it is: an interrupted call is retried, and a non-blocking descriptor (whose
// flag the program shares with whoever set it) that has nothing to give or no
// room yet is waited for, as a blocking one would be.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string_view>

namespace quolvend {

// Writes all of `text` to `fd`, retrying after short writes. Returns false if
// the descriptor refused it; what was not written is lost.
bool write_all(int fd, std::string_view text);

// Reads up to `size` bytes into `buffer`: returns how many came, 0 at the end
// of the stream, or -1 on an error.
ssize_t read_some(int fd, char* buffer, std::size_t size);

}  // namespace quolvend
