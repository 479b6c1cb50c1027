#include "process/progress.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace quolvend {
namespace {

// Reads what the terminal shows until `text` appears, or, so that a broken
// indicator fails instead of hanging, until `seconds` pass. The indicator is
// due after half a second, so the limit is only a guard.
std::string read_until(int terminal, const std::string& text, int seconds) {
  std::string shown;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (shown.find(text) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd ready{terminal, POLLIN, 0};
    if (::poll(&ready, 1, 100) <= 0) continue;
    char buffer[256];
    ssize_t n = ::read(terminal, buffer, sizeof buffer);
    if (n > 0) shown.append(buffer, static_cast<std::size_t>(n));
  }
  return shown;
}

TEST(Progress, ShowsShareAndTimesOnATerminalThenErasesThem) {
  int screen, terminal;
  ASSERT_EQ(::openpty(&screen, &terminal, nullptr, nullptr, nullptr), 0);
  progress_enable(terminal);
  progress_start(1000);
  progress_add(250);
  // Work a quarter done after half a second is work of two seconds.
  std::string shown = read_until(screen, "left", 60);
  EXPECT_NE(shown.find(" 25% done, "), std::string::npos) << shown;
  EXPECT_NE(shown.find(" elapsed, "), std::string::npos) << shown;
  progress_finish();
  EXPECT_NE(read_until(screen, "\r\033[J", 60).find("\r\033[J"), std::string::npos);
  progress_enable(-1);
  ::close(screen);
  ::close(terminal);
}

// An estimate that comes up short holds the line at 99 % until the work ends.
TEST(Progress, ShowsAtMost99PercentBeforeTheEnd) {
  int screen, terminal;
  ASSERT_EQ(::openpty(&screen, &terminal, nullptr, nullptr, nullptr), 0);
  progress_enable(terminal);
  progress_start(1000);
  progress_add(5000);
  std::string shown = read_until(screen, "done", 60);
  progress_finish();
  EXPECT_NE(shown.find(" 99% done"), std::string::npos) << shown;
  progress_enable(-1);
  ::close(screen);
  ::close(terminal);
}

// In a narrow terminal the line is shortened so that it never wraps.
TEST(Progress, FitsTheTerminalsWidth) {
  int screen, terminal;
  winsize narrow{};
  narrow.ws_col = 20;
  narrow.ws_row = 24;
  ASSERT_EQ(::openpty(&screen, &terminal, nullptr, nullptr, &narrow), 0);
  progress_enable(terminal);
  progress_start(1000);
  progress_add(250);
  std::string shown = read_until(screen, "done", 60);
  progress_finish();
  shown += read_until(screen, "\r\033[J", 60);
  EXPECT_NE(shown.find("\r 25% done\033[J\r"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("elapsed"), std::string::npos) << shown;
  progress_enable(-1);
  ::close(screen);
  ::close(terminal);
}

// A signal that ends the run mid-way erases the line first, then ends the
// process as the signal would have. Each signal in a child process of its own,
// all at once.
TEST(Progress, ErasedWhenASignalEndsTheRun) {
  const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
  int screens[4], terminals[4];
  pid_t children[4];
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(::openpty(&screens[i], &terminals[i], nullptr, nullptr, nullptr), 0);
    children[i] = ::fork();
    if (children[i] == 0) {
      rlimit no_core{0, 0};
      ::setrlimit(RLIMIT_CORE, &no_core);
      progress_enable(terminals[i]);
      progress_start(1000);
      progress_add(250);
      for (;;) ::pause();
    }
  }
  for (int i = 0; i < 4; ++i) {
    EXPECT_NE(read_until(screens[i], "left", 60).find("left"), std::string::npos);
    ::kill(children[i], signals[i]);
    std::string shown = read_until(screens[i], "\r\033[J", 60);
    int status = 0;
    ::waitpid(children[i], &status, 0);
    EXPECT_NE(shown.find("\r\033[J"), std::string::npos) << signals[i];
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signals[i]) << signals[i];
    ::close(screens[i]);
    ::close(terminals[i]);
  }
}

}  // namespace
}  // namespace quolvend
