#include "kernels/dispatch.h"

#include <gtest/gtest.h>

namespace quolvend {
namespace {

template <InstructionSet kSet>
struct Probe {
  static InstructionSet run() { return kSet; }
};

// Each set runs its own build: a probe shaped by its set says which ran.
TEST(Dispatch, RunsEachSetsOwnBuild) {
  for (InstructionSet set : available_instruction_sets())
    EXPECT_EQ(dispatch<Probe>(set), set) << instruction_set_name(set);
}

}  // namespace
}  // namespace quolvend
