#include "algebra/instruction_set.h"

#include <atomic>
#include <cstdlib>
#include <string_view>

namespace quolvend {
namespace {

Kernel best_kernel() { return available_kernels().back(); }

Kernel initial_kernel() {
  if (const char* name = std::getenv("QUOLVEND_KERNEL")) {
    for (Kernel kernel : available_kernels()) {
      if (std::string_view(name) == kernel_name(kernel)) return kernel;
    }
  }
  return best_kernel();
}

std::atomic<int> chosen{-1};

}  // namespace

std::vector<Kernel> available_kernels() {
  std::vector<Kernel> kernels{Kernel::portable};
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) kernels.push_back(Kernel::avx2);
  if (__builtin_cpu_supports("avx512f")) kernels.push_back(Kernel::avx512);
#endif
  return kernels;
}

Kernel active_kernel() {
  int kernel = chosen.load(std::memory_order_relaxed);
  if (kernel < 0) {
    kernel = static_cast<int>(initial_kernel());
    chosen.store(kernel, std::memory_order_relaxed);
  }
  return static_cast<Kernel>(kernel);
}

bool use_kernel(Kernel kernel) {
  for (Kernel available : available_kernels()) {
    if (available == kernel) {
      chosen = static_cast<int>(kernel);
      return true;
    }
  }
  return false;
}

const char* kernel_name(Kernel kernel) {
  switch (kernel) {
    case Kernel::avx512:
      return "avx512";
    case Kernel::avx2:
      return "avx2";
    default:
      return "portable";
  }
}

}  // namespace quolvend
