#include "process/start.h"

#include "process/memory.h"
#include "process/progress.h"
#include "process/thread.h"

namespace quolvend {

void start_process(const ProcessSettings& settings) {
  // The pool's workers and the progress line's own thread.
  set_memory_budget(std::uint64_t{settings.threads} * kThreadBytes);
  progress_enable(settings.progress_fd);
}

}  // namespace quolvend
