#include "matrix/numbers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "matrix/read.h"
#include "process/parallel.h"
#include "tests/odd_tokens.h"
#include "tests/scan_trace.h"
#include "tests/test_util.h"

namespace quolvend {
namespace {

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

TEST(MatrixRead, ReadsRowMajorAndSkipsBadTokensSilently) {
  Input in(testing::descriptor_with("2 x 2 1 - 2 3\n4 trailing"), false, true);
  Matrix m = matrix_read(in, false);
  EXPECT_TRUE(testing::bits_equal(testing::make_matrix({{1, 2}, {3, 4}}), m));
  std::uint32_t rest;
  EXPECT_EQ(scan_count(in, rest), Scan::mismatch);  // what follows is left unread
}

// Numbers packed into one word longer than the buffer read in time linear in
// the text: the reader looks back for the end of a word a bounded number of
// times a byte, whatever the spelling.
TEST(MatrixRead, WordsLongerThanTheBufferReadInLinearTime) {
  const std::pair<const char*, float> numbers[] = {
      {".5", 0.5f}, {"-1", -1.0f}, {"+.25", 0.25f}, {"inf", INFINITY}};
  for (auto [number, value] : numbers) {
    constexpr std::size_t kCount = 20000;
    std::string text = "1 " + std::to_string(kCount) + "\n";
    for (std::size_t i = 0; i < kCount; ++i) text += number;
    Input in(testing::descriptor_with(text), false, true, 4096);
    Matrix m = matrix_read(in, false);
    EXPECT_EQ(m.data[0][kCount - 1], value) << number;
    EXPECT_LE(in.looked_back, 2 * text.size()) << number;
  }
}

// The edges of the bulk reader's own conversion: 1 to 17 significant digits
// around the point, signs, values at and past 2^24, ties between floats,
// exponents at and past the exact single operation's reach, subnormals.
std::string bulk_edge(std::mt19937& rng) {
  std::uniform_int_distribution<int> pick(0, 99);
  static const char* const kFixed[] = {
      "16777216", "16777217", "16777218", "1677721.7", "0.16777217", "16777.216",
      "0.000000059604644775390625", "1.00000006", "8388608.5", "8388609.5", "0.30000001",
      "1e10", "1e11", "1e-10", "1e-11", "3.4e38", "1.17549435e-38", "1.4e-45", "7e-46",
      "+0.5", "+12.", "-.25", "00000001.5", "1.50000000", "123456789", "-1234567.8"};
  if (pick(rng) < 30) return kFixed[static_cast<std::size_t>(pick(rng)) % std::size(kFixed)];
  static const char* const kSigns[] = {"", "", "-", "+"};
  std::string word = kSigns[pick(rng) % 4];
  const int count = 1 + pick(rng) % 17;
  const int point = pick(rng) % (count + 2) - 1;  // -1: no point
  for (int k = 0; k < count; ++k) {
    if (k == point) word += '.';
    word += static_cast<char>('0' + pick(rng) % 10);
  }
  if (point == count) word += '.';
  if (pick(rng) < 10) {
    word += 'e';
    word += std::to_string(pick(rng) % 25 - 12);
  }
  return word;
}

// Generated tokens: plain numbers in many spellings, every odd form the
// conversions distinguish, boundaries, random bytes, and tokens longer than
// small buffers.
std::string corpus(std::mt19937& rng, int tokens) {
  const auto& kOdd = testing::kOddTokens;
  std::string text;
  std::uniform_int_distribution<int> pick(0, 99);
  char buffer[64];
  for (int i = 0; i < tokens; ++i) {
    int p = pick(rng);
    float f = testing::random_element(rng, testing::Mix::special_values);
    if (p < 30) {
      static const char* const kFormats[] = {"%g", "%.9g", "%e", "%.3f", "%a", "%.1e", "%.20g"};
      std::snprintf(buffer, sizeof buffer, kFormats[pick(rng) % 7], static_cast<double>(f));
      text += buffer;
    } else if (p < 40) {
      text += std::to_string(std::uniform_int_distribution<long long>(-100000, 100000)(rng));
    } else if (p < 70) {
      text += kOdd[static_cast<std::size_t>(pick(rng)) % std::size(kOdd)];
    } else if (p < 80) {
      text += bulk_edge(rng);
    } else if (p < 85) {
      int length = 1 + pick(rng) % 12;
      for (int k = 0; k < length; ++k) {
        text += static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
      }
    } else {
      // Long spellings: many digits, long fractions, long hexadecimal, nan(...).
      int length = 20 + pick(rng) * 3;
      static const char* const kStarts[] = {"", "-", "0.", "0x", "1.", "nan(", "-0x0.", "."};
      text += kStarts[pick(rng) % 8];
      const char* digits = pick(rng) < 50 ? "0123456789" : "0000000001";
      for (int k = 0; k < length; ++k) text += digits[pick(rng) % 10];
      static const char* const kEnds[] = {"", "e-40", "e+30", ")", ")7", "p-100", "x", "e"};
      text += kEnds[pick(rng) % 8];
    }
    static const char* const kSpaces[] = {" ", "\n", "\t", "  ", "\r\n", "\v", "\f", ""};
    text += kSpaces[pick(rng) % 8];
  }
  return text;
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

// The bulk reader of a matrix's elements against the token reader, with
// buffers that cut words at their ends and every thread count: the words
// and white space of the corpus, the bulk path's edges among them.
TEST(MatrixRead, BulkReadingAgreesWithTheLibcConversions) {
  std::mt19937 rng(20261210);
  for (int round = 0; round < 10; ++round) {
    const std::string text = corpus(rng, round < 8 ? 400 : 5000);
    const std::string floats = testing::plain_floats(text);
    const auto count = static_cast<std::size_t>(std::count(floats.begin(), floats.end(), ' '));
    for (std::size_t capacity : {std::size_t{16}, std::size_t{61}, std::size_t{4096}, kInputCapacity}) {
      for (unsigned threads : {1u, 3u}) {
        ASSERT_EQ(testing::bulk_floats(text, count, capacity, threads), floats)
            << "round " << round << ", capacity " << capacity << ", " << threads << " threads";
      }
    }
  }
}

// A large file is cut into pieces converted at once; whatever the thread
// count and buffer size, and so wherever the cuts fall among odd and packed
// words and long spellings, the elements are those of a sequential read.
TEST(MatrixRead, LargeFilesReadTheSameOnEveryThreadCount) {
  std::mt19937 rng(31);
  // A word packed with numbers, longer than the smaller buffers.
  std::string packed;
  for (int i = 0; i < 3000; ++i) packed += i % 7 ? ".5" : "-1";
  std::string text = "1 70000\n" + corpus(rng, 30000) + " " + packed + " " + corpus(rng, 30000);
  for (int i = 0; i < 70000; ++i) text += "1.5.25 ";  // enough numbers in any case
  auto read = [&](unsigned threads, std::size_t capacity) {
    set_thread_count(threads);
    Input in(testing::descriptor_with(text), false, true, capacity);
    return matrix_read(in, false);
  };
  Matrix expected = read(1, kInputCapacity);
  for (unsigned threads : {2u, 3u, 7u}) {
    for (std::size_t capacity : {std::size_t{509}, std::size_t{8191}, kInputCapacity}) {
      ASSERT_TRUE(testing::bits_equal(expected, read(threads, capacity)))
          << threads << " threads, capacity " << capacity;
    }
  }
  set_thread_count(0);
}

}  // namespace
}  // namespace quolvend
