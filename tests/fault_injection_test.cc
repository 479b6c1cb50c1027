// Fault injection: random cases, each run as a plain one-thread run with
// regular files and no limits, then again under random thread counts, kinds
// of file (FIFO, pipe, process substitution, "-") and resource limits
// (address space, data, stack, open files). Each second outcome must be the
// plain one byte for byte, or "MALLOC error" with status 1 where memory ran
// out (after what the plain run printed before it, such as a prompt): never a
// signal, a hang or another message. CI runs a fixed slice;
// QUOLVEND_FAULT_RUNS and QUOLVEND_FAULT_SEED run others.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/odd_tokens.h"
#include "tests/run.h"

namespace quolvend::testing {
namespace {

class Cases {
 public:
  explicit Cases(std::uint32_t seed) : rng_(seed) {}

  std::size_t below(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
  }

  // A matrix text of the given size: small integers, decimals, now and then
  // an odd token, and sometimes cut short.
  std::string matrix(std::uint32_t rows, std::uint32_t cols) {
    std::string text = std::to_string(rows) + " " + std::to_string(cols) + "\n";
    std::size_t count = std::size_t{rows} * cols;
    if (below(8) == 0) count = below(count + 1);  // short
    for (std::size_t i = 0; i < count; ++i) {
      if (below(40) == 0) text += std::string(kOddTokens[below(std::size(kOddTokens))]) + " ";
      text += std::to_string(static_cast<int>(below(19)) - 9);
      if (below(2) == 0) {
        text += '.';
        text += std::to_string(below(1000));
      }
      text += i % cols == cols - 1 ? "\n" : " ";
    }
    return text;
  }

  std::uint32_t size() {
    static const std::uint32_t kSizes[] = {0, 1, 2, 3, 4, 5, 7, 12, 26, 27, 40, 300};
    return kSizes[below(std::size(kSizes))];
  }

 private:
  std::mt19937 rng_;
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
      static const char* const kStack[] = {"", "-s 64", "-s 256"};
      for (const char* limit :
           {kAddressSpace[cases.below(5)], kData[cases.below(4)], kStack[cases.below(3)]}) {
        if (*limit) limits += std::string("ulimit ") + limit + "; ";
      }
    }
    // Open files: the plain run needs standard input, output, error and one
    // more. (A sanitizer's runtime or the emulator needs more of its own.)
    if (runs_natively() && !special && cases.below(3) == 0) {
      limits += cases.below(2) ? "ulimit -n 4; " : "ulimit -n 5; ";
    }
    const std::string threads = kThreads[cases.below(std::size(kThreads))];
    const std::string command = setup + limits + "QUOLVEND_THREADS=" + threads +
                                " exec timeout 60 quolvend " + option + " " + first +
                                (two ? " " + second : "") + redirect;
    Invocation shaken{{}, input, {}, std::nullopt, box.path()};
    Outcome actual = run_shell(
        "exec bash -c '" +
            [&] {
              std::string quoted;
              for (char c : command) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
              return quoted;
            }() +
            "'",
        shaken);

    const bool same = actual.out == expected.out && actual.err == expected.err &&
                      actual.status == expected.status;
    // Memory may run out after a prompt: what came before it is the plain run's.
    const std::string kOutOfMemory = "MALLOC error\n";
    const bool out_of_memory =
        actual.err.empty() && actual.status == 1 && actual.out.size() >= kOutOfMemory.size() &&
        actual.out.compare(actual.out.size() - kOutOfMemory.size(), kOutOfMemory.size(),
                           kOutOfMemory) == 0 &&
        expected.out.compare(0, actual.out.size() - kOutOfMemory.size(), actual.out, 0,
                             actual.out.size() - kOutOfMemory.size()) == 0;
    ASSERT_TRUE(same || out_of_memory)
        << "run " << run << ": " << command << "\n  plain: status " << expected.status << ", "
        << expected.out.substr(0, 200) << expected.err << "\n  this:  status " << actual.status
        << ", " << actual.out.substr(0, 200) << actual.err;
  }
}

}  // namespace
}  // namespace quolvend::testing
