// Micro-benchmarks of the hot paths, measured in one process: reading and
// printing numbers on one thread, beside std::from_chars, std::to_chars,
// fscanf and printf; the product and the LU's arithmetic on every instruction
// set and thread count. Medians of several runs.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "algebra/lu.h"
#include "algebra/product.h"
#include "cli/config.h"
#include "kernels/compute.h"
#include "matrix/bulk_numbers.h"
#include "matrix/print.h"
#include "matrix/read.h"
#include "process/parallel.h"
#include "process/system.h"

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

void report_text(const char* what, const char* way, double seconds, std::size_t numbers,
                 std::size_t bytes) {
  std::printf("text %s %-12s %6.1f ns/number %6.2f GB/s\n", what, way, seconds / numbers * 1e9,
              bytes / seconds * 1e-9);
  std::fflush(stdout);
}

// Reading the text of `numbers` numbers on one thread: the matrix reader from
// a file (as a run reads it), the bulk conversion alone on text in memory,
// std::from_chars token by token, and fscanf.
void bench_reading(const std::string& text, std::size_t numbers) {
  const std::string path = "/tmp/quolvend-micro-" + std::to_string(::getpid());
  {
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fprintf(f, "1 %zu\n", numbers);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  const Compute one{1, best_instruction_set()};
  report_text("read", "reader",
              median_seconds(7,
                             [&] {
                               Input in(::open(path.c_str(), O_RDONLY), false, true);
                               sink = matrix_read(in, false, one).storage[numbers - 1];
                             }),
              numbers, text.size());
  std::vector<char> padded(text.begin(), text.end());
  padded.resize(text.size() + kInputPadding, '\0');
  std::vector<float> out(numbers);
  report_text("read", "bulk",
              median_seconds(7,
                             [&] {
                               sink = static_cast<float>(
                                   convert_numbers(padded.data(), padded.data() + text.size(),
                                                   out.data(), numbers, one.instruction_set)
                                       .count);
                             }),
              numbers, text.size());
  report_text("read", "from_chars",
              median_seconds(5,
                             [&] {
                               const char* p = text.data();
                               const char* end = p + text.size();
                               for (std::size_t i = 0; i < numbers; ++i) {
                                 while (*p == ' ' || *p == '\n') ++p;
                                 p = std::from_chars(p, end, out[i]).ptr;
                               }
                               sink = out[numbers - 1];
                             }),
              numbers, text.size());
  report_text("read", "fscanf",
              median_seconds(3,
                             [&] {
                               std::FILE* f = std::fopen(path.c_str(), "r");
                               float v, sum = 0;
                               while (std::fscanf(f, "%f", &v) == 1) sum += v;
                               std::fclose(f);
                               sink = sum;
                             }),
              numbers, text.size());
  std::remove(path.c_str());
}

// Printing with "%.3f", each number followed by a tab, on one thread.
void bench_printing(const std::vector<float>& values) {
  std::vector<char> out(values.size() * 48);
  std::size_t bytes = 0;
  auto report = [&](const char* way, double seconds) {
    report_text("print", way, seconds, values.size(), bytes);
  };
  report("formatter", median_seconds(7, [&] {
           char* p = out.data();
           for (float v : values) {
             p = format_fixed(p, v, 3);
             *p++ = '\t';
           }
           bytes = static_cast<std::size_t>(p - out.data());
         }));
  report("to_chars", median_seconds(5, [&] {
           char* p = out.data();
           for (float v : values) {
             p = std::to_chars(p, p + 48, static_cast<double>(v), std::chars_format::fixed, 3).ptr;
             *p++ = '\t';
           }
           sink = static_cast<float>(p - out.data());
         }));
  report("printf", median_seconds(3, [&] {
           char* p = out.data();
           for (float v : values) p += std::snprintf(p, 48, "%.3f\t", static_cast<double>(v));
           sink = static_cast<float>(p - out.data());
         }));
}

Matrix random_matrix(std::uint32_t n, std::mt19937& rng) {
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  Matrix m = matrix_create(n, n);
  for (std::size_t i = 0; i < matrix_size(m); ++i) m.storage[i] = unit(rng);
  return m;
}

// The kernels' arithmetic alone, on each instruction set and on one thread
// and every thread: the product (2 n^3 operations), the LU determinant (2/3
// n^3) and the LU inverse (2 n^3). One line per figure:
//     kernel <product|determinant|inverse> <n> <variant> <threads> <ms> <GFLOP/s>
void bench_kernels(std::uint32_t n, const char* only) {
  std::mt19937 rng(2);
  Matrix a = random_matrix(n, rng), b = random_matrix(n, rng);
  Matrix inverse = matrix_create(n, n);
  const double cube = static_cast<double>(n) * n * n;
  const unsigned every = std::min(usable_cores(), kMaxThreads);
  for (InstructionSet set : available_instruction_sets()) {
    if (only && std::string(only) != instruction_set_name(set)) continue;
    for (unsigned threads : {1u, every}) {
      const Compute c =
          resolve_compute(std::to_string(threads), instruction_set_name(set), system_facts());
      auto report = [&](const char* what, double seconds, double operations) {
        std::printf("kernel %s %u %s %u %.1f %.1f\n", what, n, instruction_set_name(set), threads,
                    seconds * 1e3, operations / seconds * 1e-9);
        std::fflush(stdout);
      };
      report("product", median_seconds(5, [&] { sink = matrix_multiply(a, b, c)->storage[0]; }),
             2 * cube);
      report("determinant", median_seconds(5, [&] { sink = lu_determinant(a, c); }), 2 * cube / 3);
      report("inverse", median_seconds(3, [&] { sink = lu_invert(a, inverse, c) ? 1.0f : 0.0f; }),
             2 * cube);
      if (every == 1) break;
    }
  }
}

}  // namespace

// micro: reading and printing; micro kernels N [SET]: the arithmetic at N, on
// every instruction set or on SET alone.
int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "kernels") {
    bench_kernels(static_cast<std::uint32_t>(std::atoi(argv[2])), argc > 3 ? argv[3] : nullptr);
    return 0;
  }
  // Random six-digit decimals, "-0.123456", as files of values in -1..1 hold them.
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  constexpr std::size_t kNumbers = 4'000'000;
  std::string text;
  std::vector<float> values;
  char word[32];
  for (std::size_t i = 0; i < kNumbers; ++i) {
    const double v = unit(rng);
    text.append(word, static_cast<std::size_t>(std::snprintf(word, sizeof word, "%.6f ", v)));
    values.push_back(static_cast<float>(v));
  }
  bench_reading(text, kNumbers);
  bench_printing(values);
}
