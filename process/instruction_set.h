// The instruction sets the arithmetic kernels and the text conversions are
// built for, the one place that picks among them, and the vector type the
// kernels share. Every variant performs the same operations in the same
// order, in the same precision (single for the product and the minor tables,
// double for the LU), none contracts a multiply and an add, and every one
// reads text alike, so the choice changes only the speed.
#pragma once

#include <cstddef>
#include <cstring>
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

// The variant in use: the best available, unless use_instruction_set chose
// another.
InstructionSet active_instruction_set();

// Makes `set` the variant in use, if it is available. Returns whether it is.
bool use_instruction_set(InstructionSet set);

// "portable", "avx2" or "avx512".
const char* instruction_set_name(InstructionSet set);

// The variant of that name, if there is one.
std::optional<InstructionSet> instruction_set_named(std::string_view name);

// Eight floats, the kernels' vector. Each variant lowers it to its own
// registers (half an AVX-512 register, one AVX2, two SSE or NEON).
using Vec8 = float __attribute__((vector_size(32)));
static_assert(sizeof(Vec8) == 8 * sizeof(float));

// A vector of kBytes / sizeof(T) elements of T, the kernels' registers: 16
// bytes for SSE and NEON, 32 for AVX2, 64 for AVX-512.
// (Spelled out size by size: GCC drops vector_size from an alias template.)
template <typename T, std::size_t kBytes>
struct VectorOf;
template <>
struct VectorOf<float, 16> {
  using type = float __attribute__((vector_size(16)));
};
template <>
struct VectorOf<float, 32> {
  using type = float __attribute__((vector_size(32)));
};
template <>
struct VectorOf<float, 64> {
  using type = float __attribute__((vector_size(64)));
};
template <>
struct VectorOf<double, 16> {
  using type = double __attribute__((vector_size(16)));
};
template <>
struct VectorOf<double, 32> {
  using type = double __attribute__((vector_size(32)));
};
template <>
struct VectorOf<double, 64> {
  using type = double __attribute__((vector_size(64)));
};
template <typename T, std::size_t kBytes>
using Vector = typename VectorOf<T, kBytes>::type;

// Loads and stores through memcpy assume no more alignment than an element's.
template <typename V, typename T>
[[gnu::always_inline]] inline void load_vec(V& v, const T* p) {
  std::memcpy(&v, p, sizeof v);
}
template <typename V, typename T>
[[gnu::always_inline]] inline void store_vec(T* p, const V& v) {
  std::memcpy(p, &v, sizeof v);
}

}  // namespace quolvend

// QUOLVEND_DISPATCH(name, params, args) defines `void name params`, which runs
// `name##_body<set> args` built for the active instruction set. For example,
//
//   template <InstructionSet kSet>
//   [[gnu::always_inline]] inline void scale_body(float* x, std::size_t n) { ... }
//   QUOLVEND_DISPATCH(scale, (float* x, std::size_t n), (x, n))
//
// defines scale_avx512, scale_avx2 and scale_portable, each the body compiled
// for its target (everything it calls inlined into it, so that helpers built
// for a target, such as intrinsics, may be used), and scale(x, n), which calls
// the one active_instruction_set() names. Only x86-64 has more than the portable build: elsewhere the
// compiler's own vector lowering (NEON on arm64) serves.
#if defined(__x86_64__)
// What each x86-64 variant may use: with AVX2 come BMI1, BMI2, POPCNT and LZCNT
// (every processor with AVX2 has them), with AVX-512 Foundation its byte and
// word instructions too. Never FMA: no multiply is fused with an add.
#define QUOLVEND_TARGET_AVX2 "avx2,bmi,bmi2,popcnt,lzcnt"
#define QUOLVEND_TARGET_AVX512 "avx512f,avx512bw,avx2,bmi,bmi2,popcnt,lzcnt"
#define QUOLVEND_DISPATCH(name, params, args)                                             \
  [[gnu::target(QUOLVEND_TARGET_AVX512), gnu::flatten]] void name##_avx512 params {        \
    name##_body<::quolvend::InstructionSet::avx512> args;                                 \
  }                                                                                       \
  [[gnu::target(QUOLVEND_TARGET_AVX2), gnu::flatten]] void name##_avx2 params {            \
    name##_body<::quolvend::InstructionSet::avx2> args;                                   \
  }                                                                                       \
  void name##_portable params { name##_body<::quolvend::InstructionSet::portable> args; } \
  void name params {                                                                      \
    switch (::quolvend::active_instruction_set()) {                                       \
      case ::quolvend::InstructionSet::avx512:                                            \
        return name##_avx512 args;                                                        \
      case ::quolvend::InstructionSet::avx2:                                              \
        return name##_avx2 args;                                                          \
      case ::quolvend::InstructionSet::portable:                                          \
        return name##_portable args;                                                      \
    }                                                                                     \
  }
#else
#define QUOLVEND_DISPATCH(name, params, args) \
  void name params { name##_body<::quolvend::InstructionSet::portable> args; }
#endif
