// Starting the process's services, once, before any operand is opened.
#pragma once

namespace quolvend {

struct ProcessSettings {
  unsigned threads = 0;         // threads a parallel step may use; 0: every usable core
  bool refuse_threads = false;  // refuse every new thread, as a process limit would
  int progress_fd = -1;         // where the progress line goes; -1: nowhere
};

// Sets the thread count, the memory budget (with room for that many threads'
// stacks) and the progress line. What the system allows is read from files
// of its own, so this comes before an operand holds a descriptor that an
// open-file limit may need.
void start_process(const ProcessSettings& settings);

}  // namespace quolvend
