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

// `wanted` threads as a step may have them: from 1 to kMaxThreads.
inline unsigned thread_count(std::uint64_t wanted) {
  return static_cast<unsigned>(wanted < 1 ? 1 : wanted > kMaxThreads ? kMaxThreads : wanted);
}

// Runs task(0) ... task(tasks - 1), spread over up to `threads` threads (the
// caller's among them; at most one a task), and returns when all have
// finished. Tasks are taken in order of their index, one at a time by
// whichever thread is free, and must not depend on one another. Called from
// inside a task, or when no worker thread can start, runs the tasks in order
// on the calling thread. An exception escaping a task is rethrown here, after
// every task has finished. The floating-point status flags any task raised are
// raised on the calling thread when it returns, as if it had run every task
// itself: a caller that watches them sees every thread's.
void parallel_for(std::size_t tasks, const std::function<void(std::size_t)>& task,
                  std::size_t threads = SIZE_MAX);

// The thread running the current task, from 0 to the step's thread count - 1:
// tasks running at once have different indices, so they may index buffers of
// their own with it.
unsigned worker_index();

// How fast one thread does a step's work: `units` of it in `nanoseconds`.
// Each step names its own beside its kernel.
struct Rate {
  std::uint64_t units = 1;
  std::uint64_t nanoseconds = 1;
};

// The one rule for cutting a step over the threads: `count` units of work at
// `rate`, into at most `pieces` parts and at most `threads`. A thread takes
// part only with at least kPartNanoseconds of work: handing work out and
// waiting for it costs a few microseconds. Returns the number of parts, from 1
// to `threads`.
inline constexpr std::uint64_t kPartNanoseconds = 20'000;
std::size_t split_parts(unsigned threads, std::uint64_t count, Rate rate, std::size_t pieces);

// Splits [0, count) into `parts` nearly equal ranges and returns where range
// `part` begins; rounded down to a multiple of `align`.
std::size_t split_point(std::size_t count, std::size_t parts, std::size_t part,
                        std::size_t align = 1);

}  // namespace quolvend
