#include "process/start.h"

#include "process/memory.h"
#include "process/parallel.h"
#include "process/progress.h"
#include "process/thread.h"

namespace quolvend {

void start_process(const ProcessSettings& settings) {
  set_thread_count(settings.threads);
  if (settings.refuse_threads) refuse_threads();
  // The pool's workers and the progress line's own thread.
  set_memory_budget(std::uint64_t{thread_count()} * kThreadBytes);
  progress_enable(settings.progress_fd);
}

}  // namespace quolvend
