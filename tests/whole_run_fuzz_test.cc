// Whole runs on hostile input: random bytes, and random mixtures of the
// pieces a matrix text is made of, as files and as standard input, under every
// operation and every way of naming the operands. Every run must end with
// status 0 or 1 and nothing on standard error (no crash, no sanitizer report),
// within a CPU-time limit, and, where memory can be measured, in memory in
// proportion to its input. CI runs a fixed slice; QUOLVEND_FUZZ_RUNS and
// QUOLVEND_FUZZ_SEED run others.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/odd_tokens.h"
#include "tests/run.h"

namespace quolvend::testing {
namespace {

// Inputs stay small enough that no determinant or inverse is large: what is
// measured is the reading and the failure paths, not the arithmetic.
constexpr std::size_t kMaxInput = 600;

std::string random_text(std::mt19937& rng) {
  // clang-format off
  static const char* const kPieces[] = {
      "2 2 ", "3 3 ", "1 1 ", "0 0 ", "5 0 ", "0 7 ", "4000000000 2 ", "-1 -1 ", "500000000 0 ",
      "2000 2000 ", "1 ", "-0 ", "2.5 ", "1e30 ", "inf ", "nan ", "nan(x ", "0x1p-3 ", "1.5.5.5",
      "-1-1-1", "..", "e", "\xEF\xBB\xBF", "x ", " ", "\n", "\t", "+-", "1e999999999 ",
      "00000000000000000000000000000000001 ", "0x", "-", "\xff\xfe", "\0", "12345678901234567890 "};
  // clang-format on
  std::uniform_int_distribution<int> kind(0, 9);
  std::string text;
  std::size_t length = std::uniform_int_distribution<std::size_t>(0, kMaxInput)(rng);
  while (text.size() < length) {
    int k = kind(rng);
    if (k < 2) {
      text += static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
    } else if (k < 4) {
      text +=
          kOddTokens[std::uniform_int_distribution<std::size_t>(0, std::size(kOddTokens) - 1)(rng)];
      text += ' ';
    } else {
      text += kPieces[std::uniform_int_distribution<std::size_t>(0, std::size(kPieces) - 1)(rng)];
    }
  }
  text.resize(std::min(text.size(), kMaxInput));
  return text;
}

TEST(WholeRuns, RandomInputUnderEveryOperationEndsCleanly) {
  if (zeroed_blocks_cost_memory()) GTEST_SKIP() << "declared sizes would cost their memory";
  const char* runs_text = std::getenv("QUOLVEND_FUZZ_RUNS");
  const char* seed_text = std::getenv("QUOLVEND_FUZZ_SEED");
  // Under a sanitizer, a count that fits the memory budget costs its shadow
  // memory in full, so the slice is shorter there.
  const int runs = runs_text ? std::atoi(runs_text) : runs_natively() ? 150 : 40;
  std::mt19937 rng(seed_text ? static_cast<std::uint32_t>(std::atol(seed_text)) : 1209u);
  static const char* const kOptions[] = {"-a", "-s", "-m", "-D", "-d", "-i", "-r"};
  Sandbox box;
  for (int run = 0; run < runs; ++run) {
    std::string first = random_text(rng), second = random_text(rng), input = random_text(rng);
    box.write("first", first);
    box.write("second", second);
    std::vector<std::string> args = {kOptions[rng() % std::size(kOptions)]};
    switch (rng() % 4) {
      case 0:
        args.insert(args.end(), {"first", "second"});
        break;
      case 1:
        args.push_back("first");
        break;
      case 2:
        args.insert(args.end(), {"-", rng() % 2 ? "-" : "second"});
        break;
      default:
        break;  // the keyboard
    }
    // Output goes nowhere: a result of many empty rows is long by right.
    // LeakSanitizer's scan at the end would read every page of a matrix
    // declared large.
    Invocation invocation{args,
                          input,
                          {{"ASAN_OPTIONS", "allocator_may_return_null=1:detect_leaks=0"}},
                          "/dev/null",
                          box.path()};
    invocation.cpu_seconds = 60;
    Outcome o = run_quolvend(invocation);
    std::string what = "run " + std::to_string(run) + ": " + args[0] + " with " +
                       std::to_string(args.size() - 1) + " names";
    ASSERT_TRUE(o.status == 0 || o.status == 1) << what << ", status " << o.status;
    ASSERT_EQ(o.err, "") << what;
    if (runs_natively() && !reading_fresh_pages_costs_memory()) {
      std::size_t bytes = first.size() + second.size() + input.size();
      ASSERT_LT(o.peak_memory_kib, 16 * 1024 + static_cast<long>(bytes) / 8) << what;
    }
  }
}

}  // namespace
}  // namespace quolvend::testing
