// Starting the program's threads: small stacks, charged to the memory budget,
// and a refusal that is not a failure.
#pragma once

#include <pthread.h>

#include <cstddef>

namespace quolvend {

// The stack each thread of the program's own gets, whatever RLIMIT_STACK says
// (glibc would size thread stacks from it): several times what its deepest
// work needs.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr std::size_t kThreadStack = std::size_t{1} << 20;
#else
inline constexpr std::size_t kThreadStack = std::size_t{256} << 10;
#endif

// Starts fn(arg) on a new thread, its stack charged to the memory budget for
// the rest of the run. Returns false, starting nothing, when the stacks would
// take more than an eighth of the budget, or the system refuses the thread:
// the caller then does the work on the threads it has.
bool start_thread(pthread_t& thread, void* (*fn)(void*), void* arg);

}  // namespace quolvend
