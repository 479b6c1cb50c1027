// How a run computes: resolved once by the front end from its configuration
// and the processor, and handed down, as a value, to every step that
// computes. No setting changes a result, only how fast it comes.
#pragma once

#include "kernels/instruction_set.h"
#include "kernels/shapes.h"

namespace quolvend {

struct Compute {
  // Threads a parallel step may use, the calling thread's among them: 1 or
  // more.
  unsigned threads = 1;
  // The instruction set whose build of each kernel runs: one this processor
  // has (available_instruction_sets).
  InstructionSet instruction_set = InstructionSet::portable;
  // The tile and the cache blocks the set's kernels take on this processor.
  Tuning tuning = {};
};

}  // namespace quolvend
