// The worker threads, and the one fork-join step every parallel part of the
// program uses. Which thread computes a value never changes the value: work is
// only ever split into pieces that are computed exactly as they would be in
// one thread.
#pragma once

#include <cstddef>
#include <functional>

namespace quolvend {

// Below this many elements, reading or formatting a matrix is not
// worth handing to threads.
inline constexpr std::size_t kParallelElements = std::size_t{1} << 16;

// The most threads the program uses, however many cores there are.
inline constexpr unsigned kMaxThreads = 256;

// Sets how many threads a parallel step may use: `threads`, at most
// kMaxThreads, or every core the process may run on for 0. Set once at start
// (tests and benchmarks change it between runs); until then, every core.
void set_thread_count(unsigned threads);

// Threads a parallel step may use, as set.
unsigned thread_count();

// Runs task(0) ... task(tasks - 1), spread over up to thread_count() threads
// (the caller's among them), and returns when all have finished. Tasks must
// not depend on one another. Called from inside a task, or when no worker
// thread can start, runs the tasks in order on the calling thread. An exception escaping a task is rethrown here, after
// every task has finished.
void parallel_for(std::size_t tasks, const std::function<void(std::size_t)>& task);

// Splits [0, count) into `parts` nearly equal ranges and returns where range
// `part` begins; rounded down to a multiple of `align`.
std::size_t split_point(std::size_t count, std::size_t parts, std::size_t part,
                        std::size_t align = 1);

}  // namespace quolvend
