#include "tests/test_util.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "cli/config.h"
#include "kernels/instruction_set.h"
#include "process/parallel.h"

namespace quolvend::testing {

Matrix make_matrix(std::initializer_list<std::initializer_list<float>> rows) {
  auto cols = rows.size() == 0 ? 0 : rows.begin()->size();
  Matrix m =
      matrix_create(static_cast<std::uint32_t>(rows.size()), static_cast<std::uint32_t>(cols));
  std::uint32_t r = 0;
  for (const auto& row : rows) {
    std::uint32_t c = 0;
    for (float value : row) m.data[r][c++] = value;
    ++r;
  }
  return m;
}

bool same_bits(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::memcmp(&a, &b, sizeof a) == 0;
}

::testing::AssertionResult bits_equal(const Matrix& expected, const Matrix& actual) {
  if (expected.rows != actual.rows || expected.cols != actual.cols) {
    return ::testing::AssertionFailure() << "size " << actual.rows << "x" << actual.cols
                                         << ", expected " << expected.rows << "x" << expected.cols;
  }
  for (std::uint32_t r = 0; r < expected.rows; ++r) {
    for (std::uint32_t c = 0; c < expected.cols; ++c) {
      if (!same_bits(expected.data[r][c], actual.data[r][c])) {
        return ::testing::AssertionFailure()
               << "element (" << r << ", " << c << ") is " << actual.data[r][c] << " ("
               << std::hexfloat << actual.data[r][c] << "), expected " << std::defaultfloat
               << expected.data[r][c] << " (" << std::hexfloat << expected.data[r][c] << ")";
      }
    }
  }
  return ::testing::AssertionSuccess();
}

float random_element(std::mt19937& rng, Mix mix) {
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::uniform_int_distribution<int> pick(0, 99);
  switch (mix) {
    case Mix::small_integers:
      return static_cast<float>(std::uniform_int_distribution<int>(-4, 4)(rng));
    case Mix::mixed_magnitudes:
      return unit(rng) *
             std::pow(10.0f, static_cast<float>(std::uniform_int_distribution<int>(-6, 6)(rng)));
    case Mix::special_values:
      break;
  }
  constexpr float kInf = std::numeric_limits<float>::infinity();
  int p = pick(rng);
  if (p < 15) return 0.0f;
  if (p < 25) return -0.0f;
  if (p < 28) return kInf;
  if (p < 31) return -kInf;
  if (p < 34) return std::numeric_limits<float>::quiet_NaN();
  if (p < 40) return unit(rng) < 0 ? -1e30f : 1e30f;
  if (p < 44) return unit(rng) < 0 ? -3e38f : 3e38f;
  if (p < 48) return unit(rng) * 1e-38f;
  if (p < 70) return static_cast<float>(std::uniform_int_distribution<int>(-3, 3)(rng));
  return unit(rng) *
         std::pow(10.0f, static_cast<float>(std::uniform_int_distribution<int>(-20, 20)(rng)));
}

Matrix random_matrix(std::mt19937& rng, std::uint32_t rows, std::uint32_t cols, Mix mix) {
  Matrix m = matrix_create(rows, cols);
  for (std::uint32_t r = 0; r < rows; ++r) {
    for (std::uint32_t c = 0; c < cols; ++c) m.data[r][c] = random_element(rng, mix);
  }
  return m;
}

Matrix shuffled_hilbert(std::mt19937& rng, std::uint32_t n) {
  std::vector<std::uint32_t> order(n);
  for (std::uint32_t i = 0; i < n; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), rng);
  Matrix m = matrix_create(n, n);
  for (std::uint32_t i = 0; i < n; ++i) {
    for (std::uint32_t j = 0; j < n; ++j) {
      m.data[i][j] = 1.0f / static_cast<float>(order[i] + j + 1);
    }
  }
  return m;
}

Tuning machine_tuning(InstructionSet set) {
  return resolve_compute("1", instruction_set_name(set), system_facts()).tuning;
}

Compute compute() { return resolve_compute("2", "", system_facts()); }

void for_each_compute(const std::function<void(const Compute&, const std::string&)>& check,
                      bool every_tile) {
  for (InstructionSet kernels : available_instruction_sets()) {
    for (unsigned tile = 0; tile < (every_tile ? tile_count(kernels) : 1); ++tile) {
      Tuning tuning = machine_tuning(kernels);
      if (every_tile) tuning.tile = tile;
      const TileShape shape = tile_shape(kernels, tuning);
      for (unsigned threads : {1u, 2u, 3u, 7u}) {
        check({threads, kernels, tuning},
              std::string(instruction_set_name(kernels)) + " " + std::to_string(shape.rows) + "x" +
                  std::to_string(shape.vectors) + ", " + std::to_string(threads) + " threads");
      }
    }
  }
}

}  // namespace quolvend::testing
