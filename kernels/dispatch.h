// The one place that picks a kernel's build for a run's instruction set.
//
// A kernel is compiled once for each instruction set, everything it calls
// inlined into that copy (so that helpers built for a target, such as
// intrinsics, may be used), and dispatch calls the copy of the set a run
// chose (compute.h):
//
//   void scale(float* x, std::size_t n) { ... }  // the same code for each set
//   dispatch<scale>(compute.instruction_set, x, n);
//
//   template <InstructionSet kSet>               // code shaped by the set
//   struct Tiles { static void run(float* c, std::size_t n) { ... } };
//   dispatch<Tiles>(compute.instruction_set, c, n);
//
// Only x86-64 has more than the portable build: elsewhere the compiler's own
// vector lowering (NEON on arm64) serves.
#pragma once

#include <utility>

#include "kernels/instruction_set.h"

namespace quolvend {

#if defined(__x86_64__)
// What each x86-64 variant may use: with AVX2 come BMI1, BMI2, POPCNT and LZCNT
// (every processor with AVX2 has them), with AVX-512 Foundation its byte and
// word instructions too. Never FMA: no multiply is fused with an add.
#define QUOLVEND_TARGET_AVX2 "avx2,bmi,bmi2,popcnt,lzcnt"
#define QUOLVEND_TARGET_AVX512 "avx512f,avx512bw,avx2,bmi,bmi2,popcnt,lzcnt"

namespace dispatch_detail {

// Each build is a function of its own, never inlined into its caller: a
// caller's frame then holds none of the builds' locals, which matters on a
// main thread with a small stack.
template <auto kKernel, typename... Args>
[[gnu::target(QUOLVEND_TARGET_AVX512), gnu::flatten, gnu::noinline]] decltype(auto) avx512_build(
    Args&&... args) {
  return kKernel(std::forward<Args>(args)...);
}
template <auto kKernel, typename... Args>
[[gnu::target(QUOLVEND_TARGET_AVX2), gnu::flatten, gnu::noinline]] decltype(auto) avx2_build(
    Args&&... args) {
  return kKernel(std::forward<Args>(args)...);
}
template <auto kKernel, typename... Args>
[[gnu::flatten, gnu::noinline]] decltype(auto) portable_build(Args&&... args) {
  return kKernel(std::forward<Args>(args)...);
}

// Calls the build for `set`, each set's of its own kernel.
template <auto kAvx512, auto kAvx2, auto kPortable, typename... Args>
decltype(auto) call(InstructionSet set, Args&&... args) {
  switch (set) {
    case InstructionSet::avx512:
      return avx512_build<kAvx512>(std::forward<Args>(args)...);
    case InstructionSet::avx2:
      return avx2_build<kAvx2>(std::forward<Args>(args)...);
    case InstructionSet::portable:
      break;
  }
  return portable_build<kPortable>(std::forward<Args>(args)...);
}

}  // namespace dispatch_detail

// Runs kKernel(args...) built for `set` (the same code for each set), and
// returns what it returns.
template <auto kKernel, typename... Args>
decltype(auto) dispatch(InstructionSet set, Args&&... args) {
  return dispatch_detail::call<kKernel, kKernel, kKernel>(set, std::forward<Args>(args)...);
}

// Runs Kernel<set>::run(args...) built for `set`: a kernel whose code is
// shaped by the set (its tiles, its instructions).
template <template <InstructionSet> class Kernel, typename... Args>
decltype(auto) dispatch(InstructionSet set, Args&&... args) {
  return dispatch_detail::call<&Kernel<InstructionSet::avx512>::run,
                               &Kernel<InstructionSet::avx2>::run,
                               &Kernel<InstructionSet::portable>::run>(set,
                                                                       std::forward<Args>(args)...);
}
#else
template <auto kKernel, typename... Args>
decltype(auto) dispatch(InstructionSet, Args&&... args) {
  return kKernel(std::forward<Args>(args)...);
}

template <template <InstructionSet> class Kernel, typename... Args>
decltype(auto) dispatch(InstructionSet, Args&&... args) {
  return Kernel<InstructionSet::portable>::run(std::forward<Args>(args)...);
}
#endif

}  // namespace quolvend
