#include "process/thread.h"

#include <limits.h>
#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

#include <algorithm>
#include <atomic>
#include <mutex>

#include "process/memory.h"

namespace quolvend {
namespace {

void share_one_arena() {
#if defined(M_ARENA_MAX)
  static const bool done = [] { return ::mallopt(M_ARENA_MAX, 1) == 1; }();
  (void)done;
#endif
}

std::uint64_t thread_cost() {
  return std::max<std::size_t>(kThreadStack, PTHREAD_STACK_MIN) - kThreadStack + kThreadBytes;
}

std::mutex stacks_mutex;
std::uint64_t stacks_taken = 0;  // for the whole run: threads are never joined but at the end
std::atomic<bool> refused{false};

}  // namespace

void refuse_threads() { refused = true; }

bool start_thread(pthread_t& thread, void* (*fn)(void*), void* arg) {
  if (refused) return false;
  share_one_arena();
  const std::size_t stack = std::max<std::size_t>(kThreadStack, PTHREAD_STACK_MIN);
  const std::uint64_t cost = thread_cost();
  std::lock_guard lock(stacks_mutex);
  if (stacks_taken + cost > stack_room()) return false;
  pthread_attr_t attributes;
  if (::pthread_attr_init(&attributes) != 0) return false;
  bool started = ::pthread_attr_setstacksize(&attributes, stack) == 0 &&
                 ::pthread_create(&thread, &attributes, fn, arg) == 0;
  ::pthread_attr_destroy(&attributes);
  if (started) stacks_taken += cost;
  return started;
}

void join_thread(pthread_t thread) {
  ::pthread_join(thread, nullptr);
  std::lock_guard lock(stacks_mutex);
  stacks_taken -= thread_cost();
}

}  // namespace quolvend
