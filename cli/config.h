// Everything that configures a run, read once from the command line and the
// environment, and the one call that starts the process's services with it.
#pragma once

#include <string_view>
#include <vector>

#include "cli/options.h"
#include "kernels/compute.h"

namespace quolvend {

struct RunConfig {
  Operation operation = Operation::none;
  // The operands' file names: words 2 and 3 of the command line as the option
  // parser leaves it (one option word first), or null where the command line
  // is shorter and the operand is asked for at the keyboard. "-" names
  // standard input, read as a file.
  const char* first = nullptr;
  const char* second = nullptr;
  // How the run computes (threads and kernels), read from QUOLVEND_THREADS (a
  // whole number from 1 up; anything else means every usable core) and
  // QUOLVEND_KERNEL ("portable", "avx2" or "avx512", where this processor has
  // it; anything else means the best it has), resolved here once.
  Compute compute;
};

// What a run's Compute is resolved against: the cores the process may use,
// the instruction sets this processor has (best last) and the processor.
struct SystemFacts {
  unsigned usable_cores = 1;
  std::vector<InstructionSet> sets{InstructionSet::portable};
  Processor processor;
};

// Reads them from this system.
SystemFacts system_facts();

// The Compute for QUOLVEND_THREADS' text `threads` (a whole number from 1 up,
// at most kMaxThreads; anything else means every usable core) and
// QUOLVEND_KERNEL's text `kernel` (a set's name where the processor has it;
// anything else means the best it has), tuned for the processor.
Compute resolve_compute(std::string_view threads, std::string_view kernel,
                        const SystemFacts& facts);

// Parses the options (options.h: the usage text and status 1 for -h, an
// unknown option or none) and reads the environment. None of the settings
// from the environment changes what a run prints, only how it computes it.
RunConfig read_config(int argc, char** argv);

// Starts the process's services with the configuration: the memory budget,
// with room for the threads' stacks, and the progress line when standard
// error is a terminal.
void start_run(const RunConfig& config);

}  // namespace quolvend
