#include "matrix/input.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "process/exits.h"
#include "process/fd.h"
#include "process/output.h"

namespace quolvend {

Input::Input(int fd, bool interactive, bool sole_reader, std::size_t capacity)
    : fd(fd),
      interactive(interactive),
      sole_reader(sole_reader),
      capacity(capacity < 16 ? 16 : capacity),
      buffer(new char[this->capacity + kInputPadding]) {
  // Only the padding past the (empty) text is cleared: a fresh buffer's pages
  // are not touched before the text arrives.
  std::memset(buffer.get(), 0, kInputPadding);
}

Input::~Input() {
  if (sole_reader && fd >= 0) ::close(fd);
}

namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// Tells whether the bytes read so far could still be the start of a
// byte-order mark.
bool may_be_mark(const Input& in) {
  return std::memcmp(in.buffer.get(), kByteOrderMark, std::min<std::size_t>(in.end, 3)) == 0;
}

}  // namespace

bool read_more(Input& in) {
  if (in.exhausted) return false;
  char* buffer = in.buffer.get();
  if (in.pos > 0) {
    std::memmove(buffer, buffer + in.pos, in.end - in.pos);
    in.end -= in.pos;
    in.pos = 0;
  }
  if (in.end == in.capacity) return false;
  if (in.interactive) out_flush();
  if (in.abandon && in.abandon->load(std::memory_order_relaxed)) throw Abandoned{};
  for (;;) {
    ssize_t n = read_some(in.fd, buffer + in.end, in.capacity - in.end);
    if (n < 0) die("Error reading input");
    in.end += static_cast<std::size_t>(n);
    // What the move left past the new end is cleared again.
    std::memset(buffer + in.end, 0, kInputPadding);
    if (n == 0) in.exhausted = true;
    if (in.at_start) {
      // A byte-order mark at the very start of the stream is no part of the text.
      if (!in.exhausted && in.end < 3 && may_be_mark(in)) continue;
      if (in.end >= 3 && may_be_mark(in)) in.pos = 3;
      in.at_start = false;
      // A read that brought the mark alone brought no text: the text is still to come.
      if (in.pos == in.end && !in.exhausted) continue;
    }
    return in.end > in.pos;
  }
}

}  // namespace quolvend
