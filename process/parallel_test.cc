#include "process/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cfenv>
#include <chrono>
#include <stdexcept>
#include <thread>

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

// A task's floating-point status flags reach the caller from whichever thread
// ran it: here only a worker's task underflows, while the caller waits for it.
TEST(ParallelFor, CarriesTheWorkersFlagsToTheCaller) {
  std::atomic<bool> worker_ran{false};
  std::feclearexcept(FE_ALL_EXCEPT);
  parallel_for(
      2,
      [&](std::size_t) {
        if (worker_index() == 0) {
          const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
          while (!worker_ran && std::chrono::steady_clock::now() < give_up)
            std::this_thread::yield();
          return;
        }
        volatile float tiny = 1e-30f;
        tiny = tiny * tiny;
        worker_ran = true;
      },
      2);
  if (!worker_ran) GTEST_SKIP() << "no worker thread could start";
  EXPECT_TRUE(std::fetestexcept(FE_UNDERFLOW));
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
