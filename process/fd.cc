#include "process/fd.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace quolvend {
namespace {

// Whether a call that failed with `error` is to be made again, once `fd` is
// ready for `events` where it said it would block.
bool try_again(int error, int fd, short events) {
  if (error == EINTR) return true;
  if (error != EAGAIN && error != EWOULDBLOCK) return false;
  pollfd ready{fd, events, 0};
  int n;
  while ((n = ::poll(&ready, 1, -1)) < 0 && errno == EINTR) {
  }
  return n > 0;
}

}  // namespace

bool write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && try_again(errno, fd, POLLOUT)) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

ssize_t read_some(int fd, char* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = ::read(fd, buffer, size);
    if (n < 0 && try_again(errno, fd, POLLIN)) continue;
    return n;
  }
}

}  // namespace quolvend
