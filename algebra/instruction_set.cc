#include "algebra/instruction_set.h"

#include <atomic>
#include <cstdlib>
#include <string_view>

namespace quolvend {
namespace {

InstructionSet initial_instruction_set() {
  auto sets = available_instruction_sets();
  if (const char* name = std::getenv("QUOLVEND_KERNEL")) {
    for (InstructionSet set : sets) {
      if (std::string_view(name) == instruction_set_name(set)) return set;
    }
  }
  return sets.back();
}

std::atomic<int> chosen{-1};

}  // namespace

std::vector<InstructionSet> available_instruction_sets() {
  std::vector<InstructionSet> sets{InstructionSet::portable};
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) sets.push_back(InstructionSet::avx2);
  if (__builtin_cpu_supports("avx512f")) sets.push_back(InstructionSet::avx512);
#endif
  return sets;
}

InstructionSet active_instruction_set() {
  int set = chosen.load(std::memory_order_relaxed);
  if (set < 0) {
    set = static_cast<int>(initial_instruction_set());
    chosen.store(set, std::memory_order_relaxed);
  }
  return static_cast<InstructionSet>(set);
}

bool use_instruction_set(InstructionSet set) {
  for (InstructionSet available : available_instruction_sets()) {
    if (available == set) {
      chosen = static_cast<int>(set);
      return true;
    }
  }
  return false;
}

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

}  // namespace quolvend
