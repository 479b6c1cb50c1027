#include "tests/scan_trace.h"

#include <signal.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <thread>

#include "matrix/read.h"
#include "process/parallel.h"
#include "tests/descriptor.h"
#include "tests/reference.h"

namespace quolvend::testing {
namespace {

std::string describe(float v) {
  if (std::isnan(v)) return "nan";
  char text[64];
  std::snprintf(text, sizeof text, "%a", static_cast<double>(v));
  return text;
}

template <typename Source, typename Scanners>
std::string trace(Source& in, const std::vector<Kind>& kinds, int steps, Scanners scanners) {
  std::string log;
  for (int i = 0; i < steps; ++i) {
    Scan scan = Scan::end;
    std::string value;
    switch (kinds[static_cast<std::size_t>(i) % kinds.size()]) {
      case Kind::count: {
        std::uint32_t v = 0;
        scan = scanners.count(in, v);
        value = std::to_string(v);
        break;
      }
      case Kind::floating: {
        float v = 0;
        scan = scanners.floating(in, v);
        value = describe(v);
        break;
      }
      case Kind::integer: {
        std::int64_t v = 0;
        scan = scanners.integer(in, v);
        value = std::to_string(v);
        break;
      }
    }
    if (scan == Scan::end) return log + "end";
    if (scan == Scan::mismatch) {
      log += "skip ";
      if (!scanners.skip(in)) return log + "end";
    } else {
      log += value + " ";
    }
  }
  return log;
}

struct Fast {
  Scan count(Input& in, std::uint32_t& v) { return scan_count(in, v); }
  Scan floating(Input& in, float& v) { return scan_float(in, v); }
  Scan integer(Input& in, std::int64_t& v) { return scan_integer(in, v); }
  bool skip(Input& in) { return skip_token(in); }
};

struct Plain {
  using In = reference::TextInput;
  Scan count(In& in, std::uint32_t& v) { return reference::scan_count(in, v); }
  Scan floating(In& in, float& v) { return reference::scan_float(in, v); }
  Scan integer(In& in, std::int64_t& v) { return reference::scan_integer(in, v); }
  bool skip(In& in) { return reference::skip_token(in); }
};

}  // namespace

std::string fast_trace(const std::string& text, const std::vector<Kind>& kinds, int steps,
                       std::size_t capacity) {
  // The text arrives through a pipe, as standard input would, in one piece or
  // in many, whatever the writer's pace.
  ::signal(SIGPIPE, SIG_IGN);
  int ends[2];
  if (::pipe(ends) != 0) return "pipe failed";
  std::thread writer([&] {
    std::size_t sent = 0;
    while (sent < text.size()) {
      ssize_t n = ::write(ends[1], text.data() + sent, text.size() - sent);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    ::close(ends[1]);
  });
  std::string log;
  {
    Input in(ends[0], /*interactive=*/false, /*sole_reader=*/true, capacity);
    log = trace(in, kinds, steps, Fast{});
  }  // closing the read end stops the writer
  writer.join();
  return log;
}

std::string plain_trace(const std::string& text, const std::vector<Kind>& kinds, int steps) {
  // A byte-order mark at the very start is no part of the text.
  reference::TextInput in{text, text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3u : 0u};
  return trace(in, kinds, steps, Plain{});
}

std::string plain_floats(const std::string& text) {
  reference::TextInput in{text, text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3u : 0u};
  std::string log;
  for (;;) {
    float v;
    Scan scan = reference::scan_float(in, v);
    if (scan == Scan::end) return log;
    if (scan == Scan::value) {
      log += describe(v) + " ";
    } else if (!reference::skip_token(in)) {
      return log;
    }
  }
}

std::string bulk_floats(const std::string& text, std::size_t count, std::size_t capacity,
                        unsigned threads) {
  // A regular file, which the reader reads ahead of the numbers it needs.
  Input in(descriptor_with(text), /*interactive=*/false, /*sole_reader=*/true, capacity);
  Matrix m = matrix_create(1, static_cast<std::uint32_t>(count));
  read_elements(in, m, /*prompts=*/false, {threads, best_instruction_set()});
  std::string log;
  for (std::size_t i = 0; i < count; ++i) log += describe(m.storage[i]) + " ";
  return log;
}

}  // namespace quolvend::testing
