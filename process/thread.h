// Starting the program's threads: small stacks, taken from room the memory
// budget sets apart for them, and a refusal that is not a failure.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <cstdint>

namespace quolvend {

// The stack each thread of the program's own gets, whatever RLIMIT_STACK says
// (glibc would size thread stacks from it): several times what its deepest
// work needs.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr std::size_t kThreadStack = std::size_t{1} << 20;
#else
inline constexpr std::size_t kThreadStack = std::size_t{256} << 10;
#endif

// What one thread takes of the address space: its stack, the guard page
// below it, and room for the system's own bookkeeping.
inline constexpr std::uint64_t kThreadBytes = kThreadStack + (std::uint64_t{16} << 10);

// Starts fn(arg) on a new thread, its stack taken from stack_room() (memory.h)
// for the rest of the run. Returns false, starting nothing, when that room is
// used up, when the system refuses the thread, or after refuse_threads: the
// caller then does the work on the threads it has. The first call also makes
// the whole process share one allocator arena (M_ARENA_MAX = 1): glibc would
// otherwise reserve 64 MiB of address space for each thread that allocates.
bool start_thread(pthread_t& thread, void* (*fn)(void*), void* arg);

// Waits for a thread that start_thread started to end, and gives its stack's
// room back.
void join_thread(pthread_t thread);

// From now on every start_thread is refused, as a process limit on threads
// would refuse it: a run then does everything on its own thread.
void refuse_threads();

}  // namespace quolvend
