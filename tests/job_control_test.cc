// The progress line under job control: the program runs as a job of a
// stand-in for an interactive shell on a pseudo-terminal, and the terminal's
// screen is read as a user would see it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/run.h"

namespace quolvend::testing {
namespace {

// A 26 x 26 inverse on one thread: long enough for the line to be drawn.
std::string long_work() {
  std::string text = "26 26\n";
  for (int i = 0; i < 26 * 26; ++i) text += std::to_string(i * 37 % 101 - 50) + " ";
  return text;
}

// The shell leads the terminal's session and starts the job in a process
// group of its own, in the terminal's foreground or not. It reports on
// `report` the job's pid, then 'S' each time the job stops; a job stopped in
// the foreground is continued in the background (as `bg` does) once the test
// writes a byte on `control`. A background job that stops fails the run.
struct TerminalJob {
  int screen = -1;
  pid_t shell = -1;
  pid_t job = -1;
  int report = -1;
  int control = -1;

  TerminalJob(const std::vector<std::string>& args, const std::string& out_path, bool foreground,
              bool tostop) {
    int terminal;
    int reports[2], controls[2], go[2];
    if (::openpty(&screen, &terminal, nullptr, nullptr, nullptr) != 0 || ::pipe(reports) != 0 ||
        ::pipe(controls) != 0 || ::pipe(go) != 0) {
      throw std::runtime_error("openpty or pipe failed");
    }
    std::vector<std::string> command = quolvend_command(args);
    shell = ::fork();
    if (shell == 0) {
      ::setsid();
      ::ioctl(terminal, TIOCSCTTY, 0);
      termios modes;
      ::tcgetattr(terminal, &modes);
      if (tostop) modes.c_lflag |= TOSTOP;
      ::tcsetattr(terminal, TCSANOW, &modes);
      const pid_t child = ::fork();
      if (child == 0) {
        ::setpgid(0, 0);
        char ready;
        ::close(go[1]);
        if (::read(go[0], &ready, 1) < 0) ::_exit(126);
        ::dup2(::open("/dev/null", O_RDONLY), STDIN_FILENO);
        ::dup2(::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
        ::dup2(terminal, STDERR_FILENO);
        for (int fd = 3; fd < 1024; ++fd) ::close(fd);
        std::vector<char*> argv;
        for (std::string& word : command) argv.push_back(word.data());
        argv.push_back(nullptr);
        std::string threads = "QUOLVEND_THREADS=1";
        char* env[] = {threads.data(), nullptr};
        ::execve(argv[0], argv.data() + 1, env);
        ::_exit(127);
      }
      ::setpgid(child, child);
      if (foreground) ::tcsetpgrp(terminal, child);
      ::signal(SIGTTOU, SIG_IGN);  // the shell takes the terminal back
      if (::write(reports[1], &child, sizeof child) < 0) ::_exit(125);
      ::close(go[1]);
      for (;;) {
        int status;
        if (::waitpid(child, &status, WUNTRACED) < 0) ::_exit(124);
        if (WIFEXITED(status)) ::_exit(WEXITSTATUS(status));
        if (!WIFSTOPPED(status)) ::_exit(123);
        if (!foreground) {
          ::kill(child, SIGKILL);
          ::_exit(122);
        }
        char byte = 'S';
        if (::write(reports[1], &byte, 1) < 0) ::_exit(125);
        ::tcsetpgrp(terminal, ::getpgrp());
        if (::read(controls[0], &byte, 1) < 0) ::_exit(125);
        ::kill(-child, SIGCONT);
      }
    }
    ::close(terminal);
    ::close(reports[1]);
    ::close(controls[0]);
    ::close(go[0]);
    ::close(go[1]);
    report = reports[0];
    control = controls[1];
    if (::read(report, &job, sizeof job) != sizeof job) throw std::runtime_error("no job");
  }

  ~TerminalJob() {
    for (int fd : {screen, report, control}) ::close(fd);
  }

  // What the screen shows from now until `text` appears, the shell ends, or
  // `seconds` pass.
  std::string read_screen(const std::string& text, int seconds) {
    std::string shown;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
      if (!text.empty() && shown.find(text) != std::string::npos) break;
      pollfd ready{screen, POLLIN, 0};
      char buffer[256];
      const ssize_t n = ::poll(&ready, 1, 100) > 0 ? ::read(screen, buffer, sizeof buffer) : 0;
      if (n > 0) {
        shown.append(buffer, static_cast<std::size_t>(n));
        continue;
      }
      if (finished()) break;
      // A terminal whose other side is closed reads as an error at once.
      if (n < 0) ::usleep(100'000);
    }
    return shown;
  }

  // Whether the shell has ended; its exit status is then in `status`.
  bool finished() {
    if (status >= 0) return true;
    int raw;
    if (::waitpid(shell, &raw, WNOHANG) != shell) return false;
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return true;
  }

  int status = -1;
};

std::string contents(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

class JobControl : public ::testing::Test {
 protected:
  void SetUp() override {
    // The emulator's own signal handling stands between the job and the test.
    if (!std::string(QUOLVEND_EMULATOR).empty()) GTEST_SKIP() << "not under the emulator";
    box_.write("a.txt", long_work());
    expected_ = run_quolvend({{"-i", "a.txt"}, "", {}, std::nullopt, box_.path()}).out;
  }

  Sandbox box_;
  std::string expected_;
};

// In the background, with stty tostop: no line over the shell's prompt, and
// no stop for writing one.
TEST_F(JobControl, ABackgroundJobDrawsNothingAndNeverStops) {
  const std::string out = box_.path() + "/out.txt";
  TerminalJob job({"-i", box_.path() + "/a.txt"}, out, /*foreground=*/false, /*tostop=*/true);
  const std::string shown = job.read_screen("", 600);
  ASSERT_TRUE(job.finished());
  EXPECT_EQ(job.status, 0) << shown;
  EXPECT_EQ(shown, "");
  EXPECT_EQ(contents(out), expected_);
}

// Ctrl-Z erases the line before the job stops; continued in the background,
// the job draws nothing more and finishes.
TEST_F(JobControl, AStoppedJobLeavesNoLineAndDrawsNoneInTheBackground) {
  const std::string out = box_.path() + "/out.txt";
  TerminalJob job({"-i", box_.path() + "/a.txt"}, out, /*foreground=*/true, /*tostop=*/false);
  std::string shown = job.read_screen("done", 600);
  if (shown.find("done") == std::string::npos) {
    ASSERT_TRUE(job.finished()) << shown;
    ASSERT_EQ(job.status, 0) << shown;
    GTEST_SKIP() << "too quick to show the line";
  }
  ::kill(-job.job, SIGTSTP);
  char byte = 0;
  ASSERT_EQ(::read(job.report, &byte, 1), 1);
  ASSERT_EQ(byte, 'S');
  shown += job.read_screen("\r\033[J", 10);
  EXPECT_NE(shown.find("\r\033[J", shown.rfind("done")), std::string::npos) << shown;
  ASSERT_EQ(::write(job.control, &byte, 1), 1);
  const std::string after = job.read_screen("", 600);
  ASSERT_TRUE(job.finished());
  EXPECT_EQ(job.status, 0);
  EXPECT_EQ(after, "");
  EXPECT_EQ(contents(out), expected_);
}

}  // namespace
}  // namespace quolvend::testing
