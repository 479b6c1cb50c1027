// Fault injection: random cases, each run as a plain one-thread run with
// regular files and no limits, then again under random thread counts, kinds
// of file (FIFO, pipe, process substitution, "-", non-blocking pipes) and
// resource limits (address space, data, stack, open files), and threads that
// cannot start.
// Each second outcome must be the plain one byte for byte, or "MALLOC error"
// with status 1 where memory ran out (after what the plain run printed before
// it, such as a prompt): never a signal, a hang or another message. And a
// run that fits under one limit fits under every larger one. CI runs a fixed
// slice; QUOLVEND_FAULT_RUNS and QUOLVEND_FAULT_SEED run others.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tests/matrix_text.h"
#include "tests/run.h"

namespace quolvend::testing {
namespace {

class Cases {
 public:
  explicit Cases(std::uint32_t seed) : text_(seed) {}

  std::size_t below(std::size_t n) { return text_.below(static_cast<std::uint32_t>(n)); }

  // A matrix text of the given size, sometimes cut short.
  std::string matrix(std::uint32_t rows, std::uint32_t cols) {
    std::uint64_t count = std::uint64_t{rows} * cols;
    if (below(8) == 0) count = below(count + 1);
    return text_.matrix(rows, cols, MatrixText::Kind::mixed, count);
  }

  // Under the emulator or a sanitizer, a 26 x 26 inverse on many threads takes
  // minutes: 20 stands for it.
  std::uint32_t size() {
    static const std::uint32_t kSizes[] = {0, 1, 2, 3, 4, 5, 7, 12, 26, 27, 40, 300};
    const std::uint32_t n = kSizes[below(std::size(kSizes))];
    return n == 26 && !runs_natively() ? 20 : n;
  }

 private:
  MatrixText text_;
};

// How the operand `name` reaches the program: its word on the command line,
// with what the shell must do first.
std::string operand(Cases& cases, const std::string& name, bool stdin_free, std::string& setup,
                    std::string& redirect, bool& special) {
  switch (cases.below(5)) {
    case 0: {  // a FIFO, written once the program opens it
      std::string fifo = "fifo-" + name;
      // The writer's output goes nowhere, so that the run's ends as the program does.
      setup += "rm -f " + fifo + "; mkfifo " + fifo + "; (timeout 60 sh -c 'cat " + name + " > " +
               fifo + "' > /dev/null 2>&1 &); ";
      special = true;
      return fifo;
    }
    case 1:  // process substitution
      special = true;
      return "<(cat " + name + ")";
    case 2:
      if (stdin_free) {
        redirect = " < " + name;
        special = true;
        return "-";
      }
      return name;
    default:
      return name;
  }
}

enum class Verdict { same, out_of_memory, other };

// How `actual` compares with the plain run's outcome. Memory may run out after
// a prompt: what came before "MALLOC error" must then be the plain run's.
Verdict verdict(const Outcome& expected, const Outcome& actual) {
  if (actual.out == expected.out && actual.err == expected.err &&
      actual.status == expected.status) {
    return Verdict::same;
  }
  const std::string kOutOfMemory = "MALLOC error\n";
  const std::size_t before = actual.out.size() - std::min(actual.out.size(), kOutOfMemory.size());
  if (actual.err.empty() && actual.status == 1 && actual.out.size() >= kOutOfMemory.size() &&
      actual.out.compare(before, kOutOfMemory.size(), kOutOfMemory) == 0 &&
      expected.out.compare(0, before, actual.out, 0, before) == 0) {
    return Verdict::out_of_memory;
  }
  return Verdict::other;
}

TEST(FaultInjection, OutcomeNeverDependsOnHowTheRunIsSetUp) {
  const char* runs_text = std::getenv("QUOLVEND_FAULT_RUNS");
  const char* seed_text = std::getenv("QUOLVEND_FAULT_SEED");
  const int runs = runs_text ? std::atoi(runs_text) : runs_natively() ? 250 : 40;
  Cases cases(seed_text ? static_cast<std::uint32_t>(std::atol(seed_text)) : 1217u);
  static const char* const kOptions[] = {"-a", "-s", "-m", "-D", "-i", "-d", "-r"};
  static const char* const kThreads[] = {"1", "2", "3", "7", "64"};
  Sandbox box;
  for (int run = 0; run < runs; ++run) {
    const std::string option = kOptions[cases.below(std::size(kOptions))];
    const bool two = option == "-a" || option == "-s" || option == "-m" || option == "-d";
    std::uint32_t rows = cases.size(), cols = cases.below(2) ? rows : cases.size();
    if (option == "-D" || option == "-i" || option == "-d") cols = rows;
    box.write("a.txt", cases.matrix(rows, cols));
    std::uint32_t second_rows = option == "-m" ? cols : rows;
    if (cases.below(10) == 0) second_rows = cases.size();
    box.write("b.txt", cases.matrix(second_rows, option == "-d"   ? second_rows
                                                 : option == "-m" ? cases.size()
                                                                  : cols));
    const std::string input = option == "-r" ? std::to_string(cases.below(4)) + " 1" : "";
    std::string names =
        " a.txt" + std::string(two ? (cases.below(12) ? " b.txt" : " missing.txt") : "");

    Invocation plain{{}, input, {{"QUOLVEND_THREADS", "1"}}, std::nullopt, box.path()};
    Outcome expected = run_shell("quolvend " + option + names, plain);

    std::string setup, redirect, limits;
    bool special = false;
    std::string first = operand(cases, "a.txt", option != "-r", setup, redirect, special);
    std::string second;
    if (two) {
      second = names.find("missing") != std::string::npos
                   ? "missing.txt"
                   : operand(cases, "b.txt", option != "-r" && redirect.empty(), setup, redirect,
                             special);
    }
    if (runs_natively()) {
      static const char* const kAddressSpace[] = {"", "", "-v 24000", "-v 60000", "-v 250000"};
      static const char* const kData[] = {"", "", "-d 16000", "-d 100000"};
      static const char* const kStack[] = {"", "-s 16", "-s 64", "-s 256"};
      for (const char* limit :
           {kAddressSpace[cases.below(5)], kData[cases.below(4)], kStack[cases.below(4)]}) {
        if (*limit) limits += std::string("ulimit ") + limit + "; ";
      }
    }
    // Open files: the plain run needs standard input, output, error and one
    // more. (A sanitizer's runtime or the emulator needs more of its own.)
    if (runs_natively() && !special && cases.below(3) == 0) {
      limits += cases.below(2) ? "ulimit -n 4; " : "ulimit -n 5; ";
    }
    const std::string threads = kThreads[cases.below(std::size(kThreads))];
    if (cases.below(6) == 0) limits += "PATH=" + without_threads_dir() + ":$PATH; ";
    const std::string command = setup + limits + "QUOLVEND_THREADS=" + threads +
                                " exec timeout 60 quolvend " + option + " " + first +
                                (two ? " " + second : "") + redirect;
    Invocation shaken{{}, input, {}, std::nullopt, box.path()};
    shaken.nonblocking = cases.below(8) == 0;
    Outcome actual = run_shell(
        "exec bash -c '" +
            [&] {
              std::string quoted;
              for (char c : command) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
              return quoted;
            }() +
            "'",
        shaken);

    ASSERT_NE(verdict(expected, actual), Verdict::other)
        << "run " << run << ": " << command << (shaken.nonblocking ? ", non-blocking" : "")
        << "\n  plain: status " << expected.status << ", " << expected.out.substr(0, 200)
        << expected.err << "\n  this:  status " << actual.status << ", "
        << actual.out.substr(0, 200) << actual.err;
  }
}

// A memory limit on an ancestor of the process's control group (a systemd
// slice, a container runtime's parent group) binds as one on the group itself.
// The hierarchy is a fake one: a tmpfs over /sys/fs/cgroup in a private mount
// namespace, and the membership bound over the process's /proc/<pid>/cgroup.
TEST(FaultInjection, AnAncestorsMemoryLimitBinds) {
  Sandbox box;
  Cases cases(26);
  box.write("a.txt", cases.matrix(26, 26));  // its tables take 85 MiB
  Invocation in_box{{}, "", {}, std::nullopt, box.path()};
  if (run_shell("unshare -m sh -c 'mount -t tmpfs none /sys/fs/cgroup'", in_box).status != 0)
    GTEST_SKIP() << "no private mount namespace here";
  auto under = [&](const std::string& limit) {
    return run_shell(
        "unshare -m sh -c 'mount -t tmpfs none /sys/fs/cgroup && "
        "mkdir -p /sys/fs/cgroup/slice/job && echo " +
            limit +
            " > /sys/fs/cgroup/slice/memory.max && echo max > /sys/fs/cgroup/slice/job/memory.max "
            "&& echo 0::/slice/job > /sys/fs/cgroup/membership && exec sh -c \"mount --bind "
            "/sys/fs/cgroup/membership /proc/\\$\\$/cgroup && exec quolvend -D a.txt\"'",
        in_box);
  };
  const Outcome plain = run_shell("quolvend -D a.txt", in_box);
  const Outcome tight = under("33554432"), ample = under("8589934592");
  EXPECT_EQ(tight.out, "MALLOC error\n");
  EXPECT_EQ(tight.status, 1);
  EXPECT_EQ(ample.out, plain.out) << ample.err;
  EXPECT_EQ(ample.status, plain.status);
}

// With no thread able to start, every run, nested parallel steps included
// (two large files read at once, each in parallel), is the one-thread run.
TEST(FaultInjection, NoThreadCanStart) {
  Cases cases(24);
  Sandbox box;
  box.write("a.txt", cases.matrix(300, 300));
  box.write("b.txt", cases.matrix(300, 300));
  for (const char* option : {"-a", "-m", "-d", "-i", "-D"}) {
    const std::string command = std::string("exec timeout 60 quolvend ") + option + " a.txt b.txt";
    Outcome expected =
        run_shell(command, {{}, "", {{"QUOLVEND_THREADS", "1"}}, std::nullopt, box.path()});
    Outcome actual = run_shell("PATH=" + without_threads_dir() + ":$PATH; " + command,
                               {{}, "", {{"QUOLVEND_THREADS", "4"}}, std::nullopt, box.path()});
    EXPECT_EQ(verdict(expected, actual), Verdict::same)
        << option << ": status " << actual.status << ", " << actual.out.substr(0, 200);
  }
}

// For every thread count, a run that succeeds under one memory limit succeeds
// under every larger one: threads and their buffers take only what the run's
// own data leaves, and a step frees what it no longer needs before the next
// step charges. For operations whose steps charge in turn, the limit is
// swept from the smallest that fits, finely enough to see a thread's stack.
TEST(FaultInjection, MoreMemoryNeverTurnsAResultIntoFailure) {
  if (!runs_natively()) GTEST_SKIP() << "limits need the program to run natively";
  Cases cases(25);
  Sandbox box;
  box.write("big.txt", cases.matrix(300, 300));
  box.write("lu.txt", cases.matrix(150, 150));
  box.write("cofactor.txt", cases.matrix(20, 20));
  // Where one matrix fits and two do not, a first file that ends early gives
  // its own message, whatever the second ran into beside it.
  std::string short_text = "300 300";
  for (int i = 0; i < 50000; ++i) short_text += " 1";
  box.write("short.txt", short_text);
  const char* const kRuns[] = {"-a big.txt big.txt", "-m big.txt big.txt", "-i lu.txt",
                               "-d lu.txt lu.txt",   "-i cofactor.txt",    "-a short.txt big.txt"};
  auto outcome = [&](const std::string& command, const char* threads, int kib) {
    return run_shell("ulimit -v " + std::to_string(kib) + "; " + command,
                     {{}, "", {{"QUOLVEND_THREADS", threads}}, std::nullopt, box.path()});
  };
  for (const char* run : kRuns) {
    const std::string command = std::string("exec timeout 60 quolvend ") + run;
    Outcome expected =
        run_shell(command, {{}, "", {{"QUOLVEND_THREADS", "1"}}, std::nullopt, box.path()});
    for (const char* threads : {"3", "64"}) {
      // The smallest limit that fits, to 64 KiB, by bisection (below some
      // limit the program cannot even be loaded: that counts as too small).
      int low = 0, high = 1 << 20;
      ASSERT_EQ(verdict(expected, outcome(command, threads, high)), Verdict::same) << run;
      while (high - low > 64) {
        const int mid = (low + high) / 2;
        (verdict(expected, outcome(command, threads, mid)) == Verdict::same ? high : low) = mid;
      }
      // From there on, every larger limit: a thread's stack is 272 KiB.
      for (int kib = high; kib <= high + 4500; kib += 96) {
        Outcome actual = outcome(command, threads, kib);
        ASSERT_EQ(verdict(expected, actual), Verdict::same)
            << run << ", " << threads << " threads: fails at " << kib << " KiB, fits at " << high
            << " KiB: status " << actual.status << ", " << actual.out.substr(0, 100);
      }
    }
  }
}

// Down to the smallest limits the loader allows, a run ends as it does
// without limits or with "MALLOC error", also when the first allocations and
// even the exception for a failed one find no memory. (Below them the loader
// refuses to start the program: status 127, before any of its own code runs.)
TEST(FaultInjection, TheSmallestLimitsEndInMallocError) {
  if (!runs_natively()) GTEST_SKIP() << "limits need the program to run natively";
  Sandbox box;
  box.write("a.txt", "3 3 6 1 1 4 -2 5 2 8 7");
  const std::pair<const char*, const char*> kRuns[] = {
      {"-D a.txt", ""}, {"-a a.txt a.txt", ""}, {"-i", "2 2 1 2 3 4"}, {"-r a.txt", "1 1"}};
  const std::pair<const char*, std::pair<int, int>> kLimits[] = {{"-v", {3000, 9000}},
                                                                 {"-d", {100, 3500}}};
  for (auto [run, input] : kRuns) {
    const std::string command = std::string("exec timeout 60 quolvend ") + run;
    const Outcome expected =
        run_shell(command, {{}, input, {{"QUOLVEND_THREADS", "1"}}, std::nullopt, box.path()});
    for (auto [limit, range] : kLimits) {
      bool reached = false;
      for (int kib = range.first; kib <= range.second; kib += (range.second - range.first) / 100) {
        Outcome actual =
            run_shell("ulimit " + std::string(limit) + " " + std::to_string(kib) + "; " + command,
                      {{}, input, {{"QUOLVEND_THREADS", "2"}}, std::nullopt, box.path()});
        if (actual.status == 127 && actual.out.empty()) continue;  // not loaded
        reached = true;
        ASSERT_NE(verdict(expected, actual), Verdict::other)
            << run << ", ulimit " << limit << " " << kib << ": status " << actual.status << ", "
            << actual.out.substr(0, 100) << actual.err.substr(0, 200);
      }
      EXPECT_TRUE(reached) << run << ": the loader refused every limit up to " << limit << " "
                           << range.second;
    }
  }
}

}  // namespace
}  // namespace quolvend::testing
