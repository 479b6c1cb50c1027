#include "process/progress.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string_view>
#include <thread>

#include "process/exits.h"
#include "process/fd.h"

namespace quolvend {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kInterval = std::chrono::milliseconds(200);
// Nothing is shown before this much time has passed, nor for work whose
// estimated whole length is shorter than kLongWork.
constexpr double kFirstShow = 0.5;
constexpr double kLongWork = 1.0;

int terminal = -1;
std::atomic<std::uint64_t> done{0};
std::uint64_t total = 0;
std::thread ticker;
std::mutex mutex;
std::condition_variable wake;
bool stopping = false;

// A terminal that cannot be written to shows nothing.
void show(std::string_view text) { write_all(terminal, text); }

// Writes seconds as "12.3 s", or "4:05" from a minute on.
int format_time(char* out, std::size_t size, double seconds) {
  if (seconds < 60) return std::snprintf(out, size, "%.1f s", seconds);
  auto whole = static_cast<long>(seconds);
  return std::snprintf(out, size, "%ld:%02ld", whole / 60, whole % 60);
}

// The ticker thread: redraws the line every kInterval until the run of work
// ends, then erases it.
void ticker_loop() {
  const Clock::time_point start = Clock::now();
  bool shown = false;
  std::unique_lock lock(mutex);
  while (!wake.wait_for(lock, kInterval, [] { return stopping; })) {
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    double fraction = std::min(1.0, static_cast<double>(done.load()) / static_cast<double>(total));
    double expected = fraction > 0 ? elapsed / fraction : 2 * kLongWork + elapsed;
    if (elapsed < kFirstShow || expected < kLongWork) continue;
    char line[96];
    char spent[32], left[32];
    format_time(spent, sizeof spent, elapsed);
    if (fraction > 0) {
      format_time(left, sizeof left, expected - elapsed);
    } else {
      std::snprintf(left, sizeof left, "?");
    }
    int length = std::snprintf(line, sizeof line, "\r%3d%% done, %s elapsed, %s left\033[K",
                               static_cast<int>(fraction * 100), spent, left);
    show({line, static_cast<std::size_t>(std::max(length, 0))});
    shown = true;
  }
  if (shown) show("\r\033[K");
}

}  // namespace

void progress_enable(int fd) {
  terminal = fd;
  on_quit(progress_finish);
}

void progress_start(std::uint64_t units) {
  if (terminal < 0 || units == 0 || ticker.joinable()) return;
  total = units;
  done = 0;
  stopping = false;
  ticker = std::thread(ticker_loop);
}

void progress_add(std::uint64_t units) { done.fetch_add(units, std::memory_order_relaxed); }

void progress_finish() {
  if (!ticker.joinable()) return;
  {
    std::lock_guard lock(mutex);
    stopping = true;
  }
  wake.notify_all();
  ticker.join();
}

}  // namespace quolvend
