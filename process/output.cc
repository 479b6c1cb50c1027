#include "process/output.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "process/fd.h"

namespace quolvend {
namespace {

// Written out in blocks of up to this much.
constexpr std::size_t kCapacity = std::size_t{1} << 18;
static_assert(kOutReserveMost <= kCapacity);

// Where memory is too short for the buffer, output goes through this one, so
// that "MALLOC error" itself never needs memory. It is as large as any
// reservation.
constexpr std::size_t kFallbackCapacity = kOutReserveMost;
char fallback[kFallbackCapacity];

struct Buffer {
  char* data;
  std::size_t capacity;
};

// On the heap, not in static storage touched page by page: the first write
// takes it whole. From malloc, not new, so that a failure never runs the
// handler that reports exhausted memory through this very buffer.
const Buffer& buffer_state() {
  static const Buffer b = [] {
    if (void* block = std::malloc(kCapacity)) return Buffer{static_cast<char*>(block), kCapacity};
    return Buffer{fallback, kFallbackCapacity};
  }();
  return b;
}
char* buffer() { return buffer_state().data; }
std::size_t capacity() { return buffer_state().capacity; }

std::size_t used = 0;
bool write_failed = false;

void send(std::string_view text) {
  if (!write_failed && !write_all(STDOUT_FILENO, text)) write_failed = true;
}

}  // namespace

void out_write(std::string_view text) {
  // Large text goes out as it is, after what is buffered, rather than copied.
  if (text.size() >= capacity() / 4) {
    out_flush();
    send(text);
    return;
  }
  if (text.size() > capacity() - used) out_flush();
  std::memcpy(buffer() + used, text.data(), text.size());
  used += text.size();
}

void out_line(std::string_view text) {
  out_write(text);
  out_write("\n");
}

void out_flush() {
  if (used > 0) send({buffer(), used});
  used = 0;
}

char* out_reserve(std::size_t bytes) {
  if (bytes > capacity() - used) out_flush();
  return buffer() + used;
}

void out_commit(const char* end) { used = static_cast<std::size_t>(end - buffer()); }

bool out_failed() { return write_failed; }

}  // namespace quolvend
