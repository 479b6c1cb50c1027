// A file descriptor holding given text, for the tests of the reader.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

namespace quolvend::testing {

// A readable descriptor of a regular file (deleted), positioned at the start
// of `text`.
inline int descriptor_with(const std::string& text) {
  std::FILE* file = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), file);
  std::fflush(file);
  int fd = ::dup(fileno(file));
  std::fclose(file);
  ::lseek(fd, 0, SEEK_SET);
  return fd;
}

}  // namespace quolvend::testing
