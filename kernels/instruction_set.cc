#include "kernels/instruction_set.h"

#if defined(__x86_64__)
#include <cpuid.h>

#include <cstring>
#endif

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

ProcessorId identify_processor() {
  ProcessorId id;
#if defined(__x86_64__)
  unsigned eax, ebx, ecx, edx;
  if (__get_cpuid(0, &eax, &ebx, &ecx, &edx) == 0) return id;
  char vendor[12];
  std::memcpy(vendor, &ebx, 4);
  std::memcpy(vendor + 4, &edx, 4);
  std::memcpy(vendor + 8, &ecx, 4);
  if (std::memcmp(vendor, "GenuineIntel", 12) == 0) id.vendor = ProcessorId::Vendor::intel;
  if (std::memcmp(vendor, "AuthenticAMD", 12) == 0) id.vendor = ProcessorId::Vendor::amd;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return id;
  // The displayed family and model: the extended fields count from family 15 on.
  const unsigned family = eax >> 8 & 0xF, model = eax >> 4 & 0xF;
  id.family = family == 0xF ? family + (eax >> 20 & 0xFF) : family;
  id.model = family == 0xF || family == 0x6 ? model | (eax >> 16 & 0xF) << 4 : model;
#endif
  return id;
}

}  // namespace quolvend
