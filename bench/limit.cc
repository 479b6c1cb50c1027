// The machine's limit for the kernels' arithmetic: independent chains of
// separate vector multiplies and adds (no fused multiply-add, as the kernels
// use none), float and double, at every vector width this processor has, on
// one thread and on every core. Prints one line per figure:
//     limit <float|double> <bits> <threads> <GFLOP/s>
// the best of several runs. A kernel's rate divided by the figure for its type
// and width is its share of what the cores can do.
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "kernels/vector.h"

namespace {

// kChains chains of adds and kChains of multiplies, each value kept in a
// register (the empty asm statements stop the compiler from folding or
// merging them). Returns a sum of the results, so that nothing is dropped.
#define QUOLVEND_CHAINS(X) X(0) X(1) X(2) X(3) X(4) X(5) X(6)
#define QUOLVEND_MORE_CHAINS(X) X(7) X(8) X(9)
template <typename T, std::size_t kBytes, bool kMore>
[[gnu::always_inline]] inline double chains(long iterations) {
  using V = quolvend::Vector<T, kBytes>;
  V one, zero;
  for (std::size_t i = 0; i < kBytes / sizeof(T); ++i) {
    one[i] = 1;
    zero[i] = 0;
  }
  asm volatile("" : "+v"(one), "+v"(zero));
#define QUOLVEND_DECLARE(i) V a##i = one, m##i = one;
#define QUOLVEND_STEP(i) \
  a##i = a##i + zero;    \
  m##i = m##i * one;
#define QUOLVEND_KEEP(i) asm volatile("" : "+v"(a##i), "+v"(m##i));
#define QUOLVEND_SUM(i) sum += a##i[0] + m##i[0];
  QUOLVEND_CHAINS(QUOLVEND_DECLARE)
  QUOLVEND_MORE_CHAINS(QUOLVEND_DECLARE)
  for (long i = 0; i < iterations; ++i) {
    QUOLVEND_CHAINS(QUOLVEND_STEP)
    QUOLVEND_CHAINS(QUOLVEND_KEEP)
    if constexpr (kMore) {
      QUOLVEND_MORE_CHAINS(QUOLVEND_STEP)
      QUOLVEND_MORE_CHAINS(QUOLVEND_KEEP)
    }
  }
  double sum = 0;
  QUOLVEND_CHAINS(QUOLVEND_SUM)
  QUOLVEND_MORE_CHAINS(QUOLVEND_SUM)
  return sum;
}

struct Probe {
  const char* type;
  int bits;
  int lanes;
  int chains;
  double (*run)(long);
};

#if defined(__x86_64__)
// 32 registers with AVX-512 hold 10 + 10 chains; 16 with AVX2 or SSE hold 7 + 7.
[[gnu::target("avx512f")]] double float_512(long n) { return chains<float, 64, true>(n); }
[[gnu::target("avx512f")]] double double_512(long n) { return chains<double, 64, true>(n); }
[[gnu::target("avx2")]] double float_256(long n) { return chains<float, 32, false>(n); }
[[gnu::target("avx2")]] double double_256(long n) { return chains<double, 32, false>(n); }
double float_128(long n) { return chains<float, 16, false>(n); }
double double_128(long n) { return chains<double, 16, false>(n); }
#else
// NEON's 32 registers hold 10 + 10 chains.
double float_128(long n) { return chains<float, 16, true>(n); }
double double_128(long n) { return chains<double, 16, true>(n); }
#endif

std::vector<Probe> probes() {
  std::vector<Probe> list;
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) {
    list.push_back({"float", 512, 16, 20, float_512});
    list.push_back({"double", 512, 8, 20, double_512});
  }
  if (__builtin_cpu_supports("avx2")) {
    list.push_back({"float", 256, 8, 14, float_256});
    list.push_back({"double", 256, 4, 14, double_256});
  }
  list.push_back({"float", 128, 4, 14, float_128});
  list.push_back({"double", 128, 2, 14, double_128});
#else
  list.push_back({"float", 128, 4, 20, float_128});
  list.push_back({"double", 128, 2, 20, double_128});
#endif
  return list;
}

// GFLOP/s of `threads` threads running the probe at once: the best of five.
double rate(const Probe& probe, unsigned threads) {
  constexpr long kIterations = 20'000'000;
  double best = 0;
  for (int round = 0; round < 5; ++round) {
    auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> running;
    for (unsigned t = 0; t < threads; ++t) {
      running.emplace_back([&] {
        volatile double sink = probe.run(kIterations);
        (void)sink;
      });
    }
    for (auto& thread : running) thread.join();
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    best = std::max(best, 1e-9 * kIterations * probe.chains * probe.lanes * threads / seconds);
  }
  return best;
}

}  // namespace

int main() {
  cpu_set_t set;
  unsigned cores = ::sched_getaffinity(0, sizeof set, &set) == 0
                       ? static_cast<unsigned>(CPU_COUNT(&set))
                       : std::max(1u, std::thread::hardware_concurrency());
  for (const Probe& probe : probes()) {
    for (unsigned threads : {1u, cores}) {
      std::printf("limit %s %d %u %.1f\n", probe.type, probe.bits, threads, rate(probe, threads));
      if (cores == 1) break;
    }
  }
}
