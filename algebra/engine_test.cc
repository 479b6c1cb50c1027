#include "algebra/engine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/test_util.h"

namespace quolvend {
namespace {

// c(i, j) op= a(i, k) * b(k, j) for k ascending, each product and each sum
// rounded: the engine's order, written plainly.
template <typename T>
void plain(std::size_t rows, std::size_t cols, std::size_t depth, RowsOperand<T> a,
           ColumnsOperand<T> b, ResultBlock<T> c, bool subtract) {
  for (std::size_t i = 0; i < rows; ++i) {
    for (std::size_t j = 0; j < cols; ++j) {
      T& x = c.data[i * c.stride + j];
      for (std::size_t k = 0; k < depth; ++k) {
        const auto ik =
            static_cast<std::ptrdiff_t>(i) * a.stride + static_cast<std::ptrdiff_t>(k) * a.step;
        const T product =
            a.data[ik] *
            b.data[static_cast<std::ptrdiff_t>(k) * b.stride + static_cast<std::ptrdiff_t>(j)];
        x = subtract ? x - product : x + product;
      }
    }
  }
}

template <typename T>
std::vector<T> random_values(std::mt19937& rng, std::size_t n) {
  std::vector<T> v(n);
  for (T& x : v) x = static_cast<T>(testing::random_element(rng, testing::Mix::mixed_magnitudes));
  return v;
}

template <typename T>
bool same(const std::vector<T>& x, const std::vector<T>& y) {
  return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(T)) == 0;
}

// Tiles cut by every edge of c (rows and columns just short of, at and past
// a tile and a block of columns), runs of k just short of, at and past a
// block, onto a c that does not start at zero and lies inside a wider array
// whose other columns must stay as they are; float adds, on every set.
TEST(Engine, EdgeTilesAndBlocksTakeTheirTermsInOrder) {
  std::mt19937 rng(41);
  const std::size_t rows_list[] = {1, 5, 6, 7, 13},
                    cols_list[] = {1, 7, 8, 9, 16, 17, 33, 64, 65, 513};
  const std::size_t depths[] = {1, 255, 256, 257};
  for (InstructionSet kernels : available_instruction_sets()) {
    EngineScratch<float> scratch;
    for (int round = 0; round < 40; ++round) {
      const std::size_t rows = rows_list[rng() % std::size(rows_list)];
      const std::size_t cols = cols_list[rng() % std::size(cols_list)];
      const std::size_t depth = depths[rng() % std::size(depths)];
      const std::size_t ldc = cols + 3;
      auto a = random_values<float>(rng, rows * depth), b = random_values<float>(rng, depth * cols);
      auto expected = random_values<float>(rng, rows * ldc), actual = expected;
      const RowsOperand<float> ra{a.data(), static_cast<std::ptrdiff_t>(depth), 1};
      const ColumnsOperand<float> cb{b.data(), static_cast<std::ptrdiff_t>(cols)};
      plain<float>(rows, cols, depth, ra, cb, {expected.data(), ldc}, false);
      add_product(rows, cols, depth, ra, cb, {actual.data(), ldc}, scratch, kernels);
      ASSERT_TRUE(same(expected, actual))
          << instruction_set_name(kernels) << ": " << rows << " x " << cols << ", depth " << depth;
    }
  }
}

// The LU's backward solve walks k downwards: a with a negative step, b with a
// negative stride; double subtracts, on every set.
TEST(Engine, NegativeStepsWalkTermsDownwards) {
  std::mt19937 rng(43);
  for (InstructionSet kernels : available_instruction_sets()) {
    EngineScratch<double> scratch;
    for (std::size_t depth : {1u, 17u, 300u}) {
      const std::size_t rows = 9, cols = 21;
      auto a = random_values<double>(rng, rows * depth),
           b = random_values<double>(rng, depth * cols);
      auto expected = random_values<double>(rng, rows * cols), actual = expected;
      // a(i, k) = a[i * depth + (depth - 1 - k)], b(k, j) = b[(depth - 1 - k) * cols + j].
      const RowsOperand<double> ra{a.data() + (depth - 1), static_cast<std::ptrdiff_t>(depth), -1};
      const ColumnsOperand<double> cb{b.data() + (depth - 1) * cols,
                                      -static_cast<std::ptrdiff_t>(cols)};
      plain<double>(rows, cols, depth, ra, cb, {expected.data(), cols}, true);
      subtract_product(rows, cols, depth, ra, cb, {actual.data(), cols}, scratch, kernels);
      ASSERT_TRUE(same(expected, actual)) << instruction_set_name(kernels) << ", depth " << depth;
    }
  }
}

}  // namespace
}  // namespace quolvend
