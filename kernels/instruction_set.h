// The instruction sets the arithmetic kernels and the text conversions are
// built for, and which one is in use. Every variant performs the same
// operations in the same order, in the same precision (single for the
// product and the minor tables, double for the LU), none contracts a multiply
// and an add, and every one reads text alike, so the choice changes only the
// speed. dispatch.h runs a kernel's build for the one a run chose (compute.h).
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace quolvend {

enum class InstructionSet { portable, avx2, avx512 };

#if defined(__x86_64__)
inline constexpr bool kX86 = true;
#else
inline constexpr bool kX86 = false;
#endif

// The variants this build has and this processor can run, the best last.
std::vector<InstructionSet> available_instruction_sets();

// The best of them.
InstructionSet best_instruction_set();

// "portable", "avx2" or "avx512".
const char* instruction_set_name(InstructionSet set);

// The variant of that name, if there is one.
std::optional<InstructionSet> instruction_set_named(std::string_view name);

// The processor's maker, family and model as it reports them (CPUID on
// x86-64; nothing elsewhere): what the kernels' tables choose by.
struct ProcessorId {
  enum class Vendor { other, intel, amd } vendor = Vendor::other;
  unsigned family = 0;
  unsigned model = 0;
};
ProcessorId identify_processor();

}  // namespace quolvend
