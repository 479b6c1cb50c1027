// Starting the process's services, once, before any operand is opened.
#pragma once

namespace quolvend {

struct ProcessSettings {
  unsigned threads = 1;  // threads a parallel step will use, the main one's among them
  int progress_fd = -1;  // where the progress line goes; -1: nowhere
};

// Sets the memory budget (with room for the stacks of that many threads and
// the progress line's) and the progress line. What the system allows is read
// from files of its own, so this comes before an operand holds a descriptor
// that an open-file limit may need.
void start_process(const ProcessSettings& settings);

}  // namespace quolvend
