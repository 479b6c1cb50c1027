#include "tests/run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>

namespace quolvend::testing {

Sandbox::Sandbox() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quolvend-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

Sandbox::~Sandbox() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string Sandbox::write(const std::string& name, const std::string& text) const {
  std::ofstream(path_ + "/" + name, std::ios::binary) << text;
  return name;
}

namespace {

// Runs `program` with argv `arg_text` (its name first) as the invocation says.
Outcome run_program(const char* program, std::vector<std::string> arg_text,
                    const Invocation& invocation) {
  // A program that exits before reading all its input must not take the test
  // process down with it.
  ::signal(SIGPIPE, SIG_IGN);
  int in[2], out[2], err[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0)
    throw std::runtime_error("pipe failed");

  std::map<std::string, std::string> env_values;
  for (const char* name : {"PATH", "HOME", "ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"}) {
    if (const char* value = std::getenv(name)) env_values[name] = value;
  }
  for (const auto& [name, value] : invocation.env) env_values[name] = value;
  std::vector<std::string> env_text;
  for (const auto& [name, value] : env_values) env_text.push_back(name + "=" + value);
  std::vector<char*> env;
  for (auto& entry : env_text) env.push_back(entry.data());
  env.push_back(nullptr);
  std::vector<char*> argv;
  for (auto& arg : arg_text) argv.push_back(arg.data());
  argv.push_back(nullptr);

  if (invocation.nonblocking) {
    ::fcntl(in[0], F_SETFL, O_NONBLOCK);
    ::fcntl(out[1], F_SETFL, O_NONBLOCK);
  }
  pid_t pid = ::fork();
  if (pid == 0) {
    ::signal(SIGPIPE, SIG_DFL);
    ::dup2(in[0], STDIN_FILENO);
    int target = out[1];
    if (invocation.stdout_path)
      target = ::open(invocation.stdout_path->c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(target, STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    // Nothing else the test process holds reaches the program: a limit on
    // open files then means the same everywhere.
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
    if (!invocation.dir.empty() && ::chdir(invocation.dir.c_str()) != 0) ::_exit(126);
    if (invocation.cpu_seconds > 0) {
      rlimit limit{invocation.cpu_seconds, invocation.cpu_seconds};
      if (::setrlimit(RLIMIT_CPU, &limit) != 0) ::_exit(126);
    }
    if (invocation.address_space > 0) {
      rlimit limit{invocation.address_space, invocation.address_space};
      if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(126);
    }
    ::execve(program, argv.data(), env.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  // Long enough for the program to find its input empty and fill its output.
  if (invocation.nonblocking) ::usleep(100'000);
  // Feed standard input while draining both outputs, so that no pipe fills up.
  Outcome outcome;
  std::size_t sent = 0;
  int to_child = in[1];
  if (invocation.input.empty()) {
    ::close(to_child);
    to_child = -1;
  } else {
    ::fcntl(to_child, F_SETFL, O_NONBLOCK);
  }
  std::string* sinks[] = {&outcome.out, &outcome.err};
  int sources[] = {out[0], err[0]};
  while (sources[0] >= 0 || sources[1] >= 0) {
    pollfd fds[3];
    int count = 0;
    for (int s : sources) fds[count++] = {s, POLLIN, 0};
    fds[count++] = {to_child, POLLOUT, 0};
    if (::poll(fds, count, -1) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (sources[i] < 0 || fds[i].revents == 0) continue;
      char buffer[65536];
      ssize_t n = ::read(sources[i], buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(sources[i]);
        sources[i] = -1;
      }
    }
    if (to_child >= 0 && fds[2].revents != 0) {
      ssize_t n = ::write(to_child, invocation.input.data() + sent, invocation.input.size() - sent);
      if (n > 0) sent += static_cast<std::size_t>(n);
      if (n < 0 && errno != EAGAIN && errno != EINTR) sent = invocation.input.size();
      if (sent == invocation.input.size()) {
        ::close(to_child);
        to_child = -1;
      }
    }
  }
  if (to_child >= 0) ::close(to_child);
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  outcome.peak_memory_kib = usage.ru_maxrss;
  return outcome;
}

}  // namespace

bool runs_natively() {
#if defined(QUOLVEND_SANITIZED)
  return false;
#else
  return std::string_view(QUOLVEND_EMULATOR).empty();
#endif
}

bool zeroed_blocks_cost_memory() {
#if defined(QUOLVEND_THREAD_SANITIZED)
  return true;
#else
  return false;
#endif
}

bool reading_fresh_pages_costs_memory() {
  static const bool costs = [] {
    constexpr std::size_t kBytes = std::size_t{64} << 20;
    void* block =
        ::mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return true;
    rusage before, after;
    ::getrusage(RUSAGE_SELF, &before);
    volatile const char* bytes = static_cast<const char*>(block);
    long sum = 0;
    for (std::size_t i = 0; i < kBytes; i += 4096) sum += bytes[i];
    ::getrusage(RUSAGE_SELF, &after);
    ::munmap(block, kBytes);
    return sum != 0 || after.ru_maxrss - before.ru_maxrss > 32 * 1024;
  }();
  return costs;
}

namespace {

// The program to execute first, then its argv.
std::vector<std::string> command_for(const std::string& binary,
                                     const std::vector<std::string>& args) {
  std::vector<std::string> argv;
  std::istringstream emulator(QUOLVEND_EMULATOR);
  for (std::string word; emulator >> word;) argv.push_back(word);
  bool emulated = !argv.empty();
  std::string program = emulated ? argv[0] : binary;
  if (emulated) {
    argv.insert(argv.end(), {"-0", "quolvend", binary});
  } else {
    argv = {"quolvend"};
  }
  argv.insert(argv.end(), args.begin(), args.end());
  argv.insert(argv.begin(), program);
  return argv;
}

}  // namespace

Outcome run_quolvend_at(const std::string& binary, const Invocation& invocation) {
  std::vector<std::string> argv = command_for(binary, invocation.args);
  std::string program = argv.front();
  argv.erase(argv.begin());
  return run_program(program.c_str(), std::move(argv), invocation);
}

std::vector<std::string> quolvend_command(const std::vector<std::string>& args) {
  return command_for(QUOLVEND_BINARY, args);
}

Outcome run_quolvend(const Invocation& invocation) {
  return run_quolvend_at(QUOLVEND_BINARY, invocation);
}

Outcome run_shell(const std::string& command, Invocation invocation) {
  // The folder with the program, or with a script that starts it under the
  // emulator.
  std::string path = QUOLVEND_COMMAND_DIR;
  if (const char* inherited = std::getenv("PATH")) path += std::string(":") + inherited;
  invocation.env["PATH"] = path;
  return run_program("/bin/sh", {"sh", "-c", command}, invocation);
}

}  // namespace quolvend::testing
