// The worker threads, and the one fork-join step every parallel part of the
// program uses. Which thread computes a value never changes the value: work is
// only ever split into pieces that are computed exactly as they would be in
// one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace quolvend {

// The most threads the program uses, however many cores there are.
inline constexpr unsigned kMaxThreads = 256;

// Sets how many threads a parallel step may use: `threads`, at most
// kMaxThreads, or every core the process may run on for 0. Set once at start
// (tests and benchmarks change it between runs); until then, every core.
void set_thread_count(unsigned threads);

// Threads a parallel step may use, as set.
unsigned thread_count();

// Runs task(0) ... task(tasks - 1), spread over up to `threads` threads (the
// caller's among them; 0 or more than thread_count() means thread_count()),
// and returns when all have finished. Tasks are taken in order of their index,
// one at a time by whichever thread is free, and must not depend on one
// another. Called from inside a task, or when no worker thread can start,
// runs the tasks in order on the calling thread. An exception escaping a task
// is rethrown here, after every task has finished.
void parallel_for(std::size_t tasks, const std::function<void(std::size_t)>& task,
                  unsigned threads = 0);

// The thread running the current task, from 0 to the step's thread count - 1:
// tasks running at once have different indices, so they may index buffers of
// their own with it.
unsigned worker_index();

// The one rule for cutting a step over the threads. A thread takes part only
// with at least kPartNanoseconds of work: handing work out and waiting for it
// costs a few microseconds. `nanoseconds` is the step's whole work, estimated
// as one thread would take it; `pieces` is the most parts it can be cut into.
// Returns the number of parts, from 1 to thread_count().
inline constexpr std::uint64_t kPartNanoseconds = 20'000;
std::size_t split_parts(std::uint64_t nanoseconds, std::size_t pieces);

// Splits [0, count) into `parts` nearly equal ranges and returns where range
// `part` begins; rounded down to a multiple of `align`.
std::size_t split_point(std::size_t count, std::size_t parts, std::size_t part,
                        std::size_t align = 1);

}  // namespace quolvend
