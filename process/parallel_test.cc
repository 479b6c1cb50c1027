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
    set_thread_count(threads);
    std::atomic<int> ran{0};
    EXPECT_THROW(parallel_for(6,
                              [&](std::size_t i) {
                                ++ran;
                                if (i == 0) throw std::runtime_error("first");
                              }),
                 std::runtime_error);
    EXPECT_EQ(ran, 6) << threads << " threads";
  }
  set_thread_count(0);
}

TEST(ParallelFor, NoTasksIsNothingToDo) {
  set_thread_count(3);
  parallel_for(0, [](std::size_t) { FAIL(); });
  set_thread_count(0);
}

}  // namespace
}  // namespace quolvend
