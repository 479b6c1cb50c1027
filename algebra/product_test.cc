#include "algebra/product.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tests/reference.h"
#include "tests/test_util.h"

namespace quolvend {
namespace {

using testing::bits_equal;

TEST(MatrixMultiply, EachProductIsRoundedBeforeItIsAdded) {
  // 1 x -1, then (1 + 2^-12)^2 rounded to 1 + 2^-11 and added: 2^-11 exactly.
  // A fused multiply-add would give 2^-11 + 2^-24. The plain loop would be
  // contracted alike, so the value is stated here.
  float a = 1.0f + std::ldexp(1.0f, -12);
  auto product = matrix_multiply(testing::make_matrix({{1, a}}), testing::make_matrix({{-1}, {a}}));
  ASSERT_TRUE(product);
  EXPECT_EQ(product->data[0][0], std::ldexp(1.0f, -11));
}

TEST(MatrixMultiply, EqualsThePlainLoopBitForBit) {
  // Shapes on both sides of every block size, 0 and 1 wide included, and an
  // inner size that needs several runs of k; every instruction-set variant, and
  // thread counts that leave ragged bands.
  const std::uint32_t sizes[] = {0, 1, 2, 5, 6, 7, 15, 16, 17, 33, 97, 257, 520};
  std::mt19937 rng(11);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(sizes) - 1);
  for (int round = 0; round < 60; ++round) {
    std::uint32_t m = sizes[pick(rng)], k = sizes[pick(rng)], n = sizes[pick(rng)];
    if (std::uint64_t{m} * k * n > 20'000'000) continue;
    auto mix = testing::kAllMixes[round % 3];
    Matrix a = testing::random_matrix(rng, m, k, mix);
    Matrix b = testing::random_matrix(rng, k, n, mix);
    Matrix expected = reference::multiply(a, b);
    testing::for_each_engine([&](const std::string& setting) {
      auto product = matrix_multiply(a, b);
      ASSERT_TRUE(product);
      ASSERT_TRUE(bits_equal(expected, *product))
          << m << "x" << k << " times " << k << "x" << n << ", " << setting;
    });
  }
  // Wider than one block of columns, with a ragged last block.
  Matrix a = testing::random_matrix(rng, 7, 300, testing::Mix::mixed_magnitudes);
  Matrix b = testing::random_matrix(rng, 300, 1100, testing::Mix::mixed_magnitudes);
  EXPECT_TRUE(bits_equal(reference::multiply(a, b), *matrix_multiply(a, b)));
}

}  // namespace
}  // namespace quolvend
