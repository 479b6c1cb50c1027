#include "process/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

namespace quolvend {
namespace {

// Every task runs even when one throws, on the pool and inline alike; the
// first exception comes out once all are done.
TEST(ParallelFor, RunsEveryTaskBeforeRethrowing) {
  for (unsigned threads : {1u, 3u}) {
    std::atomic<int> ran{0};
    EXPECT_THROW(parallel_for(
                     6,
                     [&](std::size_t i) {
                       ++ran;
                       if (i == 0) throw std::runtime_error("first");
                     },
                     threads),
                 std::runtime_error);
    EXPECT_EQ(ran, 6) << threads << " threads";
  }
}

TEST(ParallelFor, NoTasksIsNothingToDo) {
  parallel_for(
      0, [](std::size_t) { FAIL(); }, 3);
}

// The one splitting rule: a part for every kPartNanoseconds of work at the
// step's rate, no more than the threads or the pieces, and always one.
TEST(SplitParts, TakesARateAndACount) {
  EXPECT_EQ(split_parts(8, 0, {1, 1}, 100), 1u);
  EXPECT_EQ(split_parts(8, 3 * kPartNanoseconds, {1, 1}, 100), 3u);
  EXPECT_EQ(split_parts(8, 3 * kPartNanoseconds, {2, 1}, 100), 1u);
  EXPECT_EQ(split_parts(8, 3 * kPartNanoseconds, {1, 2}, 100), 6u);
  EXPECT_EQ(split_parts(8, UINT64_MAX, {1, 20}, 100), 8u);
  EXPECT_EQ(split_parts(8, UINT64_MAX, {1, 1}, 5), 5u);
}

}  // namespace
}  // namespace quolvend
