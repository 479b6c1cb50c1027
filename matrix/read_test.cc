#include "matrix/read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

#include "tests/corpus.h"
#include "tests/scan_trace.h"
#include "tests/test_util.h"

namespace quolvend {
namespace {

using testing::corpus;

TEST(MatrixRead, ReadsRowMajorAndSkipsBadTokensSilently) {
  Input in(testing::descriptor_with("2 x 2 1 - 2 3\n4 trailing"), false, true);
  Matrix m = matrix_read(in, false, testing::compute());
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
    Matrix m = matrix_read(in, false, testing::compute());
    EXPECT_EQ(m.data[0][kCount - 1], value) << number;
    EXPECT_LE(in.looked_back, 2 * text.size()) << number;
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
    for (std::size_t capacity :
         {std::size_t{16}, std::size_t{61}, std::size_t{4096}, kInputCapacity}) {
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
    Input in(testing::descriptor_with(text), false, true, capacity);
    return matrix_read(in, false, {threads, best_instruction_set()});
  };
  Matrix expected = read(1, kInputCapacity);
  for (unsigned threads : {2u, 3u, 7u}) {
    for (std::size_t capacity : {std::size_t{509}, std::size_t{8191}, kInputCapacity}) {
      ASSERT_TRUE(testing::bits_equal(expected, read(threads, capacity)))
          << threads << " threads, capacity " << capacity;
    }
  }
}

}  // namespace
}  // namespace quolvend
