#include "algebra/product.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/reference.h"
#include "tests/test_util.h"

namespace quolvend {
namespace {

using testing::bits_equal;
using testing::make_matrix;

TEST(MatrixMultiply, MultipliesRowsByColumns) {
  auto product = matrix_multiply(make_matrix({{1, 2, 3}, {4, 5, 6}}),
                                 make_matrix({{7, 8}, {9, 10}, {11, 12}}));
  ASSERT_TRUE(product);
  EXPECT_TRUE(bits_equal(make_matrix({{58, 64}, {139, 154}}), *product));
}

TEST(MatrixMultiply, EmptyInnerSizeGivesZeros) {
  auto product = matrix_multiply(matrix_create(3, 0), matrix_create(0, 2));
  ASSERT_TRUE(product);
  EXPECT_TRUE(bits_equal(make_matrix({{0, 0}, {0, 0}, {0, 0}}), *product));
}

TEST(MatrixMultiply, EqualsThePlainLoopBitForBit) {
  // Shapes on both sides of every block size, 0 and 1 wide included, and an
  // inner size that needs several runs of k.
  const std::uint32_t sizes[] = {0, 1, 2, 5, 6, 7, 15, 16, 17, 33, 97, 257, 520};
  std::mt19937 rng(11);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(sizes) - 1);
  for (int round = 0; round < 60; ++round) {
    std::uint32_t m = sizes[pick(rng)], k = sizes[pick(rng)], n = sizes[pick(rng)];
    if (std::uint64_t{m} * k * n > 20'000'000) continue;
    auto mix = testing::kAllMixes[round % 3];
    Matrix a = testing::random_matrix(rng, m, k, mix);
    Matrix b = testing::random_matrix(rng, k, n, mix);
    auto product = matrix_multiply(a, b);
    ASSERT_TRUE(product);
    ASSERT_TRUE(bits_equal(reference::multiply(a, b), *product)) << m << "x" << k << " times " << k << "x" << n;
  }
  // Wider than one block of columns, with a ragged last block.
  Matrix a = testing::random_matrix(rng, 7, 300, testing::Mix::mixed_magnitudes);
  Matrix b = testing::random_matrix(rng, 300, 1100, testing::Mix::mixed_magnitudes);
  EXPECT_TRUE(bits_equal(reference::multiply(a, b), *matrix_multiply(a, b)));
}

}  // namespace
}  // namespace quolvend
