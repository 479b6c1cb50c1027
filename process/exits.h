// Every way the process ends. A run ends through quit, with its status; the
// failures below end it through quit with status 1 after their message.
// Nothing else calls exit.
#pragma once

#include <string>
#include <string_view>

namespace quolvend {

// Runs the hooks registered with on_quit (newest first), flushes standard
// output and ends the process with `status`. If any write to standard output
// failed, "Error writing output" goes to standard error and the status is 1.
[[noreturn]] void quit(int status);

// Registers `hook` to run first thing in quit, for clean-up that must come
// before the last output (erasing the progress line). At most a few.
void on_quit(void (*hook)());

// Writes the message and a newline to standard output and ends with status 1.
// Inside a DeferFailures scope on this thread, throws Failure instead.
[[noreturn]] void die(std::string_view message);

// die("MALLOC error"): memory, or the budget, has run out.
[[noreturn]] void out_of_memory();

// Makes a failed allocation on the calling thread, outside a DeferFailures
// scope, end the run with "MALLOC error" where it fails, rather than throw:
// under a tight limit the exception itself may find no memory. Elsewhere it
// throws std::bad_alloc as usual. run_program calls it before anything else.
void end_on_failed_allocation();

// Writes `usage` to standard error after everything buffered for standard
// output, and ends with status 1.
[[noreturn]] void usage_exit(std::string_view usage);

enum class FailureKind { message, out_of_memory };

// A failure that die deferred to the code that started the work.
struct Failure {
  FailureKind kind = FailureKind::message;
  std::string message;
};

// The failure out_of_memory defers.
Failure out_of_memory_failure();

// Ends the process as the deferred failure would have: die(f.message).
[[noreturn]] void fail(const Failure& f);

// While it lives, die on this thread throws Failure instead of ending the
// process, so that work done ahead of its turn can report in its turn. Scopes
// nest: the outer one's setting comes back when the inner one ends.
class DeferFailures {
 public:
  DeferFailures();
  ~DeferFailures();
  DeferFailures(const DeferFailures&) = delete;
  DeferFailures& operator=(const DeferFailures&) = delete;

 private:
  bool outer_;
};

}  // namespace quolvend
