#include "process/progress.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string_view>

#include "process/exits.h"
#include "process/fd.h"
#include "process/thread.h"

namespace quolvend {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kInterval = std::chrono::milliseconds(200);
// Nothing is shown before this much time has passed, nor for work whose
// estimated whole length is shorter than kLongWork.
constexpr double kFirstShow = 0.5;
constexpr double kLongWork = 1.0;
constexpr double kMostShown = 0.99;

int terminal = -1;
std::atomic<std::uint64_t> done{0};
std::uint64_t total = 0;
pthread_t ticker;
bool ticking = false;
std::mutex mutex;
std::condition_variable wake;
bool stopping = false;
// Whether a line is on the terminal now: a signal handler erases it.
std::atomic<bool> shown{false};
// Set by progress_repeat: the ticker's clock starts again.
std::atomic<bool> repeated{false};

// The line is written from the start of its row and the cursor goes back
// there after it, so that erasing it clears from the cursor to the end of the
// screen: every row the line occupies, also after a narrower terminal has
// wrapped it into several (a terminal that reflows keeps the cursor at the
// start of the wrapped line).
constexpr std::string_view kErase = "\r\033[J";

// A terminal that cannot be written to shows nothing.
void show(std::string_view text) { write_all(terminal, text); }

// Whether the process is in its terminal's foreground, the only place a line
// may be drawn: in the background it would land over the shell's prompt and
// what the user types there (or, with stty tostop, stop the job). A terminal
// that is not the process's controlling one has no foreground of its own.
bool in_foreground() {
  const pid_t foreground = ::tcgetpgrp(terminal);
  return foreground < 0 || foreground == ::getpgrp();
}

// The terminal's width in columns, asked at every update so that a resize
// (SIGWINCH) takes effect at the next one; 80 when the terminal cannot tell.
unsigned terminal_width() {
  winsize size{};
  if (::ioctl(terminal, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
  return size.ws_col;
}

// Writes seconds as "12.3 s", or "4:05" from a minute on.
int format_time(char* out, std::size_t size, double seconds) {
  if (seconds < 60) return std::snprintf(out, size, "%.1f s", seconds);
  auto whole = static_cast<long>(seconds);
  return std::snprintf(out, size, "%ld:%02ld", whole / 60, whole % 60);
}

// The line for `fraction` done after `elapsed` seconds, expected to take
// `expected` in all, shortened to fit `width` columns without reaching the
// last (a character there may wrap): the time left goes first, then the time
// taken. Empty when not even the share fits.
std::string_view progress_line(char* line, std::size_t size, double fraction, double elapsed,
                               double expected, unsigned width) {
  char spent[32], left[32];
  format_time(spent, sizeof spent, elapsed);
  if (fraction > 0) {
    format_time(left, sizeof left, expected - elapsed);
  } else {
    std::snprintf(left, sizeof left, "?");
  }
  const int percent = static_cast<int>(fraction * 100);
  const char* const formats[] = {"%3d%% done, %s elapsed, %s left", "%3d%% done, %s elapsed",
                                 "%3d%% done"};
  for (const char* format : formats) {
    int length = std::snprintf(line, size, format, percent, spent, left);
    if (length > 0 && static_cast<unsigned>(length) < width) {
      return {line, static_cast<std::size_t>(length)};
    }
  }
  return {};
}

void* ticker_loop(void*) {
  // A line drawn just as the job leaves the foreground goes out rather than
  // stopping the job (with stty tostop); and a stop from the keyboard is
  // handled on another thread, which erases the line first.
  sigset_t held;
  sigemptyset(&held);
  sigaddset(&held, SIGTTOU);
  sigaddset(&held, SIGTSTP);
  ::pthread_sigmask(SIG_BLOCK, &held, nullptr);
  Clock::time_point start = Clock::now();
  std::unique_lock lock(mutex);
  while (!wake.wait_for(lock, kInterval, [] { return stopping; })) {
    if (repeated.exchange(false)) start = Clock::now();
    if (!in_foreground()) {
      // Sent to the background with the line up (a stop no handler sees):
      // the shell's screen is no longer ours to draw on.
      shown = false;
      continue;
    }
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    // Short of 100 % until the work ends: an estimate may come up short.
    double fraction =
        std::min(kMostShown, static_cast<double>(done.load()) / static_cast<double>(total));
    double expected = fraction > 0 ? elapsed / fraction : 2 * kLongWork + elapsed;
    if (elapsed < kFirstShow || expected < kLongWork) continue;
    char text[96];
    std::string_view line =
        progress_line(text, sizeof text, fraction, elapsed, expected, terminal_width());
    if (line.empty()) {
      if (shown.exchange(false)) show(kErase);
      continue;
    }
    char out[128];
    std::memcpy(out, "\r", 1);
    std::memcpy(out + 1, line.data(), line.size());
    std::memcpy(out + 1 + line.size(), "\033[J\r", 4);
    shown = true;
    show({out, line.size() + 5});
  }
  if (shown.exchange(false) && in_foreground()) show(kErase);
  return nullptr;
}

// On SIGINT, SIGTERM, SIGHUP or SIGQUIT: erase the line, then end as the
// signal would (a core dump included).
void erase_and_die(int signal) {
  if (shown.exchange(false)) (void)::write(terminal, kErase.data(), kErase.size());
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

// Handles `signal` with `handler` unless the caller ignores it (then it stays
// ignored).
void catch_signal(int signal, void (*handler)(int)) {
  struct sigaction current;
  if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  ::sigaction(signal, &action, nullptr);
}

// On SIGTSTP (Ctrl-Z): erase the line, then stop as the signal would. On
// SIGCONT the ticker draws again, if the job is in the foreground.
void catch_stop(int) {
  const int saved = errno;
  if (shown.exchange(false)) (void)::write(terminal, kErase.data(), kErase.size());
  struct sigaction as_default {};
  as_default.sa_handler = SIG_DFL;
  sigemptyset(&as_default.sa_mask);
  ::sigaction(SIGTSTP, &as_default, nullptr);
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTSTP);
  ::sigprocmask(SIG_UNBLOCK, &stop, nullptr);
  ::raise(SIGTSTP);
  catch_signal(SIGTSTP, catch_stop);
  errno = saved;
}

void catch_interruptions() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) catch_signal(signal, erase_and_die);
  catch_signal(SIGTSTP, catch_stop);
}

}  // namespace

void progress_enable(int fd) {
  static bool hooked = false;
  terminal = fd;
  if (fd < 0 || hooked) return;
  hooked = true;
  on_quit(progress_finish);
  catch_interruptions();
}

void progress_start(std::uint64_t units) {
  if (ticking) return;
  total = units;
  done = 0;
  if (terminal < 0 || units == 0) return;
  stopping = false;
  // Without a thread of its own there is simply no indicator.
  ticking = start_thread(ticker, ticker_loop, nullptr);
}

void progress_add(std::uint64_t units) { done.fetch_add(units, std::memory_order_relaxed); }

void progress_repeat() {
  done = 0;
  repeated = true;
}

void progress_complete() { done = total; }

std::uint64_t progress_done() { return done.load(); }

void progress_finish() {
  if (!ticking) return;
  {
    std::lock_guard lock(mutex);
    stopping = true;
  }
  wake.notify_all();
  join_thread(ticker);
  ticking = false;
}

}  // namespace quolvend
