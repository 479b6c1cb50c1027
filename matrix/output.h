// The one buffered standard-output stream that every prompt, result and message
// passes through, in order, and the ways the process ends.
#pragma once

#include <string>
#include <string_view>

namespace quolvend {

// Appends text to standard output's buffer.
void out_write(std::string_view text);

// Appends text and a newline, as puts does.
void out_line(std::string_view text);

// Hands everything buffered to the system. Called before the program waits on
// standard input, so that a prompt is always visible. A failed write is
// remembered and reported when the process ends.
void out_flush();

// Flushes and ends the process with `status`. If any write to standard output
// failed, "Error writing output" goes to standard error and the status is 1.
[[noreturn]] void quit(int status);

// Writes the message and a newline to standard output and ends with status 1.
// On a thread inside a DeferFailures scope, throws Failure instead.
[[noreturn]] void die(std::string_view message);

// A failure that die deferred to the code that started the work.
struct Failure {
  std::string message;
};

// While it lives, die on this thread throws Failure instead of ending the
// process, so that work done ahead of its turn can report in its turn.
struct DeferFailures {
  DeferFailures();
  ~DeferFailures();
  DeferFailures(const DeferFailures&) = delete;
  DeferFailures& operator=(const DeferFailures&) = delete;
};

}  // namespace quolvend
