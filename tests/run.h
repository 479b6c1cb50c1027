// Running the built program as a user would, for end-to-end tests.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quolvend::testing {

struct Outcome {
  std::string out;
  std::string err;
  int status = -1;           // exit status, or 128 + signal number
  long peak_memory_kib = 0;  // maximum resident set size
};

// A temporary directory, removed with everything in it at the end of the test.
class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // Writes `text` to a file in the sandbox and returns its name.
  std::string write(const std::string& name, const std::string& text) const;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct Invocation {
  std::vector<std::string> args;           // after the program name
  std::string input;                       // sent to standard input, then closed
  std::map<std::string, std::string> env;  // set on top of a clean environment
  std::optional<std::string> stdout_path;  // standard output to this file instead
  std::string dir;                         // working directory
  std::uint64_t address_space = 0;         // RLIMIT_AS for the program, if not 0
  unsigned cpu_seconds = 0;                // RLIMIT_CPU for the program, if not 0
  // Standard input and output pipes whose file status is non-blocking (the
  // flag shared with the program), fed and read only after a pause.
  bool nonblocking = false;
};

// Whether the program runs as built, so that its memory can be limited and
// measured: not under a sanitizer, whose shadow memory needs the address
// space, nor under an emulator.
bool runs_natively();

// Whether the program is built with ThreadSanitizer, whose allocator writes
// every page of a large zeroed block (and its shadow): a matrix declared
// large but left empty then costs its full size.
bool zeroed_blocks_cost_memory();

// Whether this kernel counts a never-written page that is only read as
// resident memory (some do): printing a large matrix of untouched zeros then
// costs its size.
bool reading_fresh_pages_costs_memory();

// Runs quolvend, started under the name "quolvend", with PATH, HOME and the
// sanitizers' options its only inherited environment. A cross-built program
// runs under its emulator.
Outcome run_quolvend(const Invocation& invocation);

// The same with another build of the program at `binary`.
Outcome run_quolvend_at(const std::string& binary, const Invocation& invocation);

// The program to execute and its argv for quolvend with `args`: the built
// program, or the emulator that runs it.
std::vector<std::string> quolvend_command(const std::vector<std::string>& args);

// Runs a shell command line with the built quolvend first on the PATH;
// `invocation.args` is unused.
Outcome run_shell(const std::string& command, Invocation invocation);

// The folder of the program as a process limit on threads leaves it (every
// thread start refused), under the same name: first on a shell's PATH, it
// stands for the program.
inline std::string without_threads_dir() { return QUOLVEND_WITHOUT_THREADS_DIR; }

// The source tree's top directory.
inline std::string source_dir() { return QUOLVEND_SOURCE_DIR; }

}  // namespace quolvend::testing
