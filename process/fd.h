// Writing to a file descriptor without stdio.
#pragma once

#include <string_view>

namespace quolvend {

// Writes all of `text` to `fd`, retrying after interruptions and short writes.
// Returns false if the descriptor refused it; what was not written is lost.
bool write_all(int fd, std::string_view text);

}  // namespace quolvend
