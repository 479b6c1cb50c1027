// A one-line progress indicator for long work, on a terminal.
//
// Long steps report the work they finish with progress_add; nothing is shown
// unless the driver has enabled the indicator (standard error is a terminal)
// and a run of work is under way, and then only once the work looks set to
// take more than about a second.
#pragma once

#include <cstdint>

namespace quolvend {

// Shows the indicator on `fd` for the runs of work that follow (-1: nowhere),
// drawn only while the process is in the terminal's foreground process group
// (checked at every update), so that it never lands over a shell's prompt nor
// stops a background job. The first time, also registers progress_finish to
// run in quit (exits.h), handlers for SIGINT, SIGTERM, SIGHUP and SIGQUIT that
// erase the line before the signal ends the process as it would have, and for
// SIGTSTP that erase it before the process stops (signals the caller ignores
// stay ignored).
void progress_enable(int fd);

// Starts a run of `total` units of work. The indicator, when enabled, updates
// a few times a second with the share done, the time taken and an estimate of
// the time left; it shows no more than 99 % until the run ends.
void progress_start(std::uint64_t total);

// Counts `units` more as done. Cheap, and safe from any thread.
void progress_add(std::uint64_t units);

// Starts the count of the run's work over, for work done a second time (an
// operation that runs again on rescaled values): the share shown and the
// time taken go back to nothing.
void progress_repeat();

// Counts the whole run as done: for work finished another way than its
// estimate counts (a small LU in place of a second expansion).
void progress_complete();

// The units counted since the run started: a run's estimate is exact when
// this reaches its total at the end.
std::uint64_t progress_done();

// Ends the run and erases the indicator, before the result is written.
void progress_finish();

}  // namespace quolvend
