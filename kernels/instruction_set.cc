#include "kernels/instruction_set.h"

namespace quolvend {
std::vector<InstructionSet> available_instruction_sets() {
  std::vector<InstructionSet> sets{InstructionSet::portable};
#if defined(__x86_64__)
  __builtin_cpu_init();
  const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") &&
                    __builtin_cpu_supports("popcnt");
  if (avx2) sets.push_back(InstructionSet::avx2);
  if (avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) {
    sets.push_back(InstructionSet::avx512);
  }
#endif
  return sets;
}

InstructionSet best_instruction_set() { return available_instruction_sets().back(); }

const char* instruction_set_name(InstructionSet set) {
  switch (set) {
    case InstructionSet::avx512:
      return "avx512";
    case InstructionSet::avx2:
      return "avx2";
    case InstructionSet::portable:
      break;
  }
  return "portable";
}

std::optional<InstructionSet> instruction_set_named(std::string_view name) {
  for (InstructionSet set :
       {InstructionSet::portable, InstructionSet::avx2, InstructionSet::avx512}) {
    if (name == instruction_set_name(set)) return set;
  }
  return std::nullopt;
}

}  // namespace quolvend
