// A one-line progress indicator for long work, on a terminal.
//
// Long steps report the work they finish with progress_add; nothing is shown
// unless the driver has enabled the indicator (standard error is a terminal)
// and a run of work is under way, and then only once the work looks set to
// take more than about a second.
#pragma once

#include <cstdint>

namespace quolvend {

// Shows the indicator on `fd` for the runs of work that follow.
void progress_enable(int fd);

// Starts a run of `total` units of work. The indicator, when enabled, updates
// a few times a second with the share done, the time taken and an estimate of
// the time left.
void progress_start(std::uint64_t total);

// Counts `units` more as done. Cheap, and safe from any thread.
void progress_add(std::uint64_t units);

// Ends the run and erases the indicator, before the result is written.
void progress_finish();

}  // namespace quolvend
