// The program's one run, from the command line to the exit status.
#pragma once

namespace quolvend {

// Reads the configuration, loads the operands, computes, prints the result
// and ends the process: status 0 after a result, 1 after any failure.
[[noreturn]] void run_program(int argc, char** argv);

}  // namespace quolvend
