#include "matrix/scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "tests/corpus.h"
#include "tests/scan_trace.h"

namespace quolvend {
namespace {

using testing::corpus;
using testing::fast_trace;
using testing::Kind;
using testing::plain_trace;

std::string floats(const std::string& text) { return fast_trace(text, {Kind::floating}, 50); }

TEST(ScanFloat, ConsumesTheLongestPrefixAndLeavesTheRest) {
  const std::pair<const char*, const char*> cases[] = {
      {"3x", "0x1.8p+1 skip end"},
      {"1e 1e+5x", "0x1p+0 skip 0x1.86ap+16 skip end"},
      {"1.5.5", "0x1.8p+0 0x1p-1 end"},
      {"0x1p", "0x1p+0 skip end"},
      {"infinit -INFINITY", "inf skip -inf end"},
      {"nan(12) nan(1", "nan nan skip end"},
      {"2.5e1 -0 .5", "0x1.9p+4 -0x0p+0 0x1p-1 end"},
      // A failed conversion consumes nothing, so only that token is discarded
      // and the number after it survives.
      {"- 2 in 3 +-1 4 .e1 5", "skip 0x1p+1 skip 0x1.8p+1 skip 0x1p+2 skip 0x1.4p+2 end"},
      {"3.4028235e38 3.4028236e38 1e-45 7e-46 16777217",
       "0x1.fffffep+127 inf 0x1p-149 0x0p+0 0x1p+24 end"},
      // A byte-order mark counts only at the very start.
      {"\xEF\xBB\xBF"
       "2 \xEF\xBB\xBF"
       "3",
       "0x1p+1 skip end"},
  };
  for (auto [text, expected] : cases) EXPECT_EQ(floats(text), expected) << text;
}

TEST(ScanCount, WrapsAsStrtoulStoredIn32Bits) {
  auto counts = [](const std::string& text) { return fast_trace(text, {Kind::count}, 20); };
  EXPECT_EQ(counts("3x 007 +5 -1 4294967296 99999999999999999999 - 1.5"),
            "3 skip 7 5 4294967295 0 4294967295 skip 1 skip end");
}

TEST(ScanInteger, ReadsSignsHexadecimalAndOctalAsStrtolBaseZero) {
  auto integers = [](const std::string& text) { return fast_trace(text, {Kind::integer}, 20); };
  EXPECT_EQ(integers("-0x10 010 08 0x 0xg 1e3 99999999999999999999999"),
            "-16 8 0 8 0 skip 0 skip 1 skip 4611686018427387904 end");
}

TEST(Scan, AgreesWithTheLibcConversionsOnGeneratedTokens) {
  std::mt19937 rng(20261209);
  const std::vector<std::vector<Kind>> plans = {{Kind::floating},
                                                {Kind::count},
                                                {Kind::integer},
                                                {Kind::count, Kind::floating, Kind::floating},
                                                {Kind::integer, Kind::floating}};
  for (int round = 0; round < 40; ++round) {
    std::string text = corpus(rng, 400);
    const auto& kinds = plans[static_cast<std::size_t>(round) % plans.size()];
    std::string expected = plain_trace(text, kinds, 2000);
    // Small buffers push most tokens across buffer boundaries and onto the
    // streaming path for tokens longer than the buffer.
    for (std::size_t capacity :
         {std::size_t{16}, std::size_t{17}, std::size_t{61}, std::size_t{4096}, kInputCapacity}) {
      ASSERT_EQ(fast_trace(text, kinds, 2000, capacity), expected)
          << "round " << round << ", capacity " << capacity;
    }
  }
}

TEST(Scan, HandlesSpellingsLongerThanTheBuffer) {
  std::string digits(5000, '7');
  std::string zeros(3000, '0');
  const std::string cases[] = {
      digits + "x 1",
      "0." + zeros + "1e3001 2",
      "1" + zeros + "e-3000 3",
      "0x" + digits + "p-20000 4",
      "nan(" + digits + ")5 6",
      "nan(" + digits + "! 7",
      "nan(" + digits + " 8",
      "-" + zeros + ".",
      "16777217" + zeros + "e-3000",
      "1.00000005960464477539062500000000000000000000000000000000000000000000000000001",
  };
  for (const auto& text : cases) {
    for (std::size_t capacity : {std::size_t{16}, std::size_t{1000}}) {
      EXPECT_EQ(fast_trace(text, {Kind::floating}, 10, capacity),
                plain_trace(text, {Kind::floating}, 10))
          << text.substr(0, 40);
    }
  }
}

}  // namespace
}  // namespace quolvend
