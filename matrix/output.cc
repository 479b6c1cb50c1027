#include "matrix/output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "matrix/progress.h"

namespace quolvend {
namespace {

constexpr std::size_t kCapacity = 1 << 16;
char buffer[kCapacity];
std::size_t used = 0;
bool write_failed = false;

void write_all(const char* data, std::size_t size) {
  while (size > 0 && !write_failed) {
    ssize_t n = ::write(STDOUT_FILENO, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      write_failed = true;
      return;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

}  // namespace

void out_write(std::string_view text) {
  if (text.size() > kCapacity - used) {
    out_flush();
    if (text.size() >= kCapacity) {
      write_all(text.data(), text.size());
      return;
    }
  }
  std::memcpy(buffer + used, text.data(), text.size());
  used += text.size();
}

void out_line(std::string_view text) {
  out_write(text);
  out_write("\n");
}

void out_flush() {
  write_all(buffer, used);
  used = 0;
}

void quit(int status) {
  progress_finish();
  out_flush();
  if (write_failed) {
    std::fputs("Error writing output\n", stderr);
    status = 1;
  }
  std::exit(status);
}

namespace {
thread_local bool deferring = false;
}  // namespace

DeferFailures::DeferFailures() { deferring = true; }
DeferFailures::~DeferFailures() { deferring = false; }

void die(std::string_view message) {
  if (deferring) throw Failure{std::string(message)};
  out_line(message);
  quit(1);
}

}  // namespace quolvend
