// Micro-benchmarks of the three hot paths against their plain counterparts,
// measured in one process on the same data: reading numbers (against glibc's
// fscanf), printing them (against printf), and the matrix product (against
// the textbook loops). Prints one line per figure, medians of several runs.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "algebra/instruction_set.h"
#include "algebra/lu.h"
#include "algebra/product.h"
#include "matrix/input.h"
#include "matrix/print.h"
#include "process/parallel.h"

using namespace quolvend;

namespace {

double median_seconds(int runs, const std::function<void()>& work) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    auto start = std::chrono::steady_clock::now();
    work();
    times.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

volatile float sink;

void bench_reading(const char* path, std::size_t numbers) {
  double fast = median_seconds(5, [&] {
    Input in(::open(path, O_RDONLY), false, true);
    float v, sum = 0;
    while (scan_float(in, v) == Scan::value) sum += v;
    sink = sum;
  });
  double plain = median_seconds(3, [&] {
    std::FILE* f = std::fopen(path, "r");
    float v, sum = 0;
    while (std::fscanf(f, "%f", &v) == 1) sum += v;
    std::fclose(f);
    sink = sum;
  });
  std::printf("read    %6.1f ns/number   fscanf %6.1f ns/number   %.1fx faster\n",
              fast / numbers * 1e9, plain / numbers * 1e9, plain / fast);
}

void bench_printing(const std::vector<float>& values) {
  std::vector<char> out(values.size() * 48);
  double fast = median_seconds(5, [&] {
    char* p = out.data();
    for (float v : values) {
      p = format_fixed(p, v, 3);
      *p++ = '\t';
    }
    sink = static_cast<float>(p - out.data());
  });
  double plain = median_seconds(3, [&] {
    std::FILE* null = std::fopen("/dev/null", "w");
    for (float v : values) std::fprintf(null, "%.3f\t", static_cast<double>(v));
    std::fclose(null);
  });
  std::printf("print   %6.1f ns/number   printf %6.1f ns/number   %.1fx faster\n",
              fast / values.size() * 1e9, plain / values.size() * 1e9, plain / fast);
}

void bench_product(std::uint32_t n, std::mt19937& rng) {
  std::uniform_real_distribution<float> unit(-100.0f, 100.0f);
  Matrix a = matrix_create(n, n), b = matrix_create(n, n);
  for (std::size_t i = 0; i < matrix_size(a); ++i) {
    a.storage[i] = unit(rng);
    b.storage[i] = unit(rng);
  }
  double flops = 2.0 * n * n * n;
  double fast = median_seconds(5, [&] { sink = matrix_multiply(a, b)->storage[0]; });
  // The same order of operations in plain loops: r, k, c (vectorised by the
  // compiler) and the textbook r, c, k.
  Matrix c = matrix_create(n, n);
  double rkc = median_seconds(1, [&] {
    std::fill_n(c.storage.get(), matrix_size(c), 0.0f);
    for (std::uint32_t r = 0; r < n; ++r) {
      for (std::uint32_t k = 0; k < n; ++k) {
        float x = a.data[r][k];
        const float* row = b.data[k];
        float* out = c.data[r];
        for (std::uint32_t j = 0; j < n; ++j) out[j] = x * row[j] + out[j];
      }
    }
  });
  double rck = median_seconds(1, [&] {
    for (std::uint32_t r = 0; r < n; ++r) {
      for (std::uint32_t j = 0; j < n; ++j) {
        float sum = 0.0f;
        for (std::uint32_t k = 0; k < n; ++k) sum = a.data[r][k] * b.data[k][j] + sum;
        c.data[r][j] = sum;
      }
    }
  });
  std::printf("product %u: %5.1f GFLOP/s   r-k-c loop %5.1f GFLOP/s   r-c-k loop %5.1f GFLOP/s\n",
              n, flops / fast * 1e-9, flops / rkc * 1e-9, flops / rck * 1e-9);
}

// The LU path's arithmetic alone: the factorisation (2/3 n^3 operations) and
// the whole inverse (2 n^3), on each instruction set, with the threads given.
void bench_lu(std::uint32_t n) {
  std::mt19937 rng(2);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  Matrix a = matrix_create(n, n);
  for (std::size_t i = 0; i < matrix_size(a); ++i) a.storage[i] = unit(rng);
  Matrix inverse = matrix_create(n, n);
  const double cube = static_cast<double>(n) * n * n;
  for (InstructionSet set : available_instruction_sets()) {
    use_instruction_set(set);
    double det = median_seconds(3, [&] { sink = lu_determinant(a); });
    double inv = median_seconds(3, [&] { sink = lu_invert(a, inverse) ? 1.0f : 0.0f; });
    std::printf(
        "lu %u, %u threads, %-8s determinant %7.1f ms %5.1f GFLOP/s   inverse %7.1f ms %5.1f "
        "GFLOP/s\n",
        n, thread_count(), instruction_set_name(set), det * 1e3, 2 * cube / 3 / det * 1e-9,
        inv * 1e3, 2 * cube / inv * 1e-9);
  }
}

}  // namespace

// micro [N]: the hot paths at N (2000); micro lu N: the LU arithmetic alone.
int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "lu") {
    bench_lu(static_cast<std::uint32_t>(std::atoi(argv[2])));
    return 0;
  }
  std::uint32_t n = argc > 1 ? static_cast<std::uint32_t>(std::atoi(argv[1])) : 2000;
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> unit(-100.0, 100.0);
  // Numbers as the benchmark files hold them: six significant digits.
  std::vector<float> values;
  std::string path = "/tmp/quolvend-micro-" + std::to_string(::getpid());
  std::FILE* f = std::fopen(path.c_str(), "w");
  for (int i = 0; i < 4'000'000; ++i) {
    double v = unit(rng);
    std::fprintf(f, "%.6g ", v);
    values.push_back(static_cast<float>(v));
  }
  std::fclose(f);
  bench_reading(path.c_str(), values.size());
  std::remove(path.c_str());
  bench_printing(values);
  bench_product(n, rng);
}
