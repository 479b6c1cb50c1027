#include "process/parallel.h"

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <vector>

#include "process/thread.h"

namespace quolvend {
namespace {

// Set while a thread runs a task, so that a nested step runs in place.
thread_local bool inside_task = false;
// 0 on the thread that starts steps; worker i is i + 1.
thread_local unsigned this_worker = 0;

// Workers wait for a step, take its tasks one index at a time, and report back
// when none is left. The pool lives until the process ends.
struct Pool {
  std::mutex mutex;
  std::condition_variable start;
  std::condition_variable finished;
  unsigned workers = 0;  // started so far; worker i takes part while i < wanted
  std::uint64_t generation = 0;
  const std::function<void(std::size_t)>* task = nullptr;
  std::size_t tasks = 0;
  std::atomic<std::size_t> next{0};
  unsigned wanted = 0;   // workers asked to join the current step
  unsigned running = 0;  // workers still inside the current step
  std::exception_ptr error;
  int raised = 0;  // the floating-point flags the workers' tasks raised

  void run_tasks() {
    inside_task = true;
    for (std::size_t i; (i = next.fetch_add(1)) < tasks;) {
      try {
        (*task)(i);
      } catch (...) {
        std::lock_guard lock(mutex);
        if (!error) error = std::current_exception();
      }
    }
    inside_task = false;
  }

  static void* worker_main(void* index);

  void work(unsigned index) {
    std::uint64_t seen = 0;
    for (;;) {
      {
        std::unique_lock lock(mutex);
        start.wait(lock, [&] { return generation != seen && index < wanted; });
        seen = generation;
      }
      // A worker's flags are its own: it reports what this step's tasks raise.
      std::feclearexcept(FE_ALL_EXCEPT);
      run_tasks();
      const int flags = std::fetestexcept(FE_ALL_EXCEPT);
      std::lock_guard lock(mutex);
      raised |= flags;
      if (--running == 0) finished.notify_one();
    }
  }
};

Pool& pool() {
  static Pool* instance = new Pool;  // never destroyed: its workers wait until the process ends
  return *instance;
}

void* Pool::worker_main(void* index) {
  this_worker = static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(index)) + 1;
  pool().work(this_worker - 1);
  return nullptr;
}

std::mutex step_mutex;  // one step at a time uses the pool

// Runs every task on this thread, as the pool would: the first exception
// comes out after the rest have run. A step called from a task runs inline too.
void run_inline(std::size_t tasks, const std::function<void(std::size_t)>& task) {
  const bool outer = inside_task;
  const unsigned outer_worker = this_worker;
  inside_task = true;
  this_worker = 0;  // the only thread of this step
  std::exception_ptr error;
  for (std::size_t i = 0; i < tasks; ++i) {
    try {
      task(i);
    } catch (...) {
      if (!error) error = std::current_exception();
    }
  }
  inside_task = outer;
  this_worker = outer_worker;
  if (error) std::rethrow_exception(error);
}

}  // namespace

std::size_t split_parts(unsigned threads, std::uint64_t count, Rate rate, std::size_t pieces) {
  // The work in nanoseconds, saturating rather than wrapping.
  std::uint64_t nanoseconds;
  if (__builtin_mul_overflow(count, rate.nanoseconds, &nanoseconds)) nanoseconds = UINT64_MAX;
  const std::uint64_t worth =
      nanoseconds / std::max<std::uint64_t>(rate.units, 1) / kPartNanoseconds;
  return static_cast<std::size_t>(
      std::max<std::uint64_t>(1, std::min<std::uint64_t>({threads, pieces, worth})));
}

std::size_t split_point(std::size_t count, std::size_t parts, std::size_t part, std::size_t align) {
  if (part >= parts) return count;
  std::size_t point = count / parts * part + count % parts * part / parts;
  return point - point % align;
}

unsigned worker_index() { return this_worker; }

void parallel_for(std::size_t tasks, const std::function<void(std::size_t)>& task,
                  std::size_t threads) {
  if (tasks == 0) return;
  unsigned helpers = thread_count(std::min<std::size_t>(threads, tasks)) - 1;
  if (helpers == 0 || inside_task) {
    run_inline(tasks, task);
    return;
  }
  std::unique_lock step(step_mutex);
  Pool& p = pool();
  {
    std::lock_guard lock(p.mutex);
    // A worker that cannot start is no failure: the step runs on those that did.
    while (p.workers < helpers) {
      pthread_t thread;
      void* index = reinterpret_cast<void*>(static_cast<std::uintptr_t>(p.workers));
      if (!start_thread(thread, &Pool::worker_main, index)) break;
      ::pthread_detach(thread);
      ++p.workers;
    }
    helpers = std::min(helpers, p.workers);
  }
  if (helpers == 0) {
    step.unlock();
    run_inline(tasks, task);
    return;
  }
  {
    std::lock_guard lock(p.mutex);
    p.task = &task;
    p.tasks = tasks;
    p.next = 0;
    p.wanted = helpers;
    p.running = helpers;
    p.error = nullptr;
    p.raised = 0;
    ++p.generation;
  }
  p.start.notify_all();
  p.run_tasks();
  std::exception_ptr error;
  int raised;
  {
    std::unique_lock lock(p.mutex);
    p.finished.wait(lock, [&] { return p.running == 0; });
    p.task = nullptr;
    error = p.error;
    raised = p.raised;
  }
  if (raised != 0) std::feraiseexcept(raised);
  if (error) std::rethrow_exception(error);
}

}  // namespace quolvend
