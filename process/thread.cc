#include "process/thread.h"

#include <limits.h>
#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

#include <algorithm>
#include <mutex>
#include <vector>

#include "process/memory.h"

namespace quolvend {
namespace {

// Threads share the main allocator arena: glibc would otherwise reserve an
// arena of 64 MiB of address space for each thread that allocates.
void share_one_arena() {
#if defined(M_ARENA_MAX)
  static const bool done = [] { return ::mallopt(M_ARENA_MAX, 1) == 1; }();
  (void)done;
#endif
}

std::mutex stacks_mutex;
std::vector<MemoryCharge>* stacks = new std::vector<MemoryCharge>;  // for the whole run

}  // namespace

bool start_thread(pthread_t& thread, void* (*fn)(void*), void* arg) {
  share_one_arena();
  const std::size_t stack = std::max<std::size_t>(kThreadStack, PTHREAD_STACK_MIN);
  std::lock_guard lock(stacks_mutex);
  // Stacks take at most an eighth of the budget, so that extra threads never
  // crowd out the matrices themselves.
  if ((stacks->size() + 1) * stack > memory_budget() / 8) return false;
  auto charge = try_charge(stack);
  if (!charge) return false;
  pthread_attr_t attributes;
  if (::pthread_attr_init(&attributes) != 0) return false;
  bool started = ::pthread_attr_setstacksize(&attributes, stack) == 0 &&
                 ::pthread_create(&thread, &attributes, fn, arg) == 0;
  ::pthread_attr_destroy(&attributes);
  if (started) stacks->push_back(std::move(*charge));
  return started;
}

}  // namespace quolvend
