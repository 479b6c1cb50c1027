// The instruction-set variants of the arithmetic kernels, and the one place
// that picks among them. Every variant performs the same single-precision
// operations in the same order (none contracts a multiply and an add), so the
// choice changes only the speed.
#pragma once

#include <vector>

namespace quolvend {

enum class Kernel { portable, avx2, avx512 };

#if defined(__x86_64__)
inline constexpr bool kX86 = true;
#else
inline constexpr bool kX86 = false;
#endif

// The variants this build has and this processor can run, the best last.
std::vector<Kernel> available_kernels();

// The variant in use: QUOLVEND_KERNEL ("portable", "avx2" or "avx512") when it
// names an available one, otherwise the best available.
Kernel active_kernel();

// Makes `kernel` the variant in use, if it is available (for tests and
// benchmarks). Returns whether it is.
bool use_kernel(Kernel kernel);

const char* kernel_name(Kernel kernel);

}  // namespace quolvend

// Defines `void name params` to run `name##_body<variant> args`, an
// always-inline function template, built for each variant; the call goes to
// the active one. Only
// x86-64 has more than the portable build: elsewhere the compiler's own
// vector lowering (NEON on arm64) serves.
#if defined(__x86_64__)
#define QUOLVEND_DISPATCH(name, params, args)                                                     \
  [[gnu::target("avx512f")]] void name##_avx512 params {                                          \
    name##_body<::quolvend::Kernel::avx512> args;                                                 \
  }                                                                                               \
  [[gnu::target("avx2")]] void name##_avx2 params { name##_body<::quolvend::Kernel::avx2> args; } \
  void name##_portable params { name##_body<::quolvend::Kernel::portable> args; }                 \
  void name params {                                                                              \
    switch (::quolvend::active_kernel()) {                                                        \
      case ::quolvend::Kernel::avx512:                                                            \
        return name##_avx512 args;                                                                \
      case ::quolvend::Kernel::avx2:                                                              \
        return name##_avx2 args;                                                                  \
      default:                                                                                    \
        return name##_portable args;                                                              \
    }                                                                                             \
  }
#else
#define QUOLVEND_DISPATCH(name, params, args) \
  void name params { name##_body<::quolvend::Kernel::portable> args; }
#endif
