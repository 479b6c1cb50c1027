#include "algebra/determinant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tests/reference.h"
#include "tests/test_util.h"

namespace quolvend {
namespace {

using testing::make_matrix;
using testing::same_bits;

TEST(MatrixDeterminant, TermsOfZeroElementsAreStillAdded) {
  // The zero element's minor is infinite and 0 x inf is NaN; skipping that
  // term would give -inf.
  float inf = INFINITY;
  Matrix m = make_matrix({{0, 1, 1}, {1, inf, 2}, {1, 3, 4}});
  EXPECT_TRUE(std::isnan(matrix_determinant(m, testing::compute())));
}

TEST(MatrixDeterminant, SumStartsAtPositiveZero) {
  // Every term is +0 x (a negative factor) = -0, so a sum started at -0
  // would stay -0.
  Matrix m = make_matrix({{-1, 1, -1}, {0, 0, 0}, {0, 0, 0}});
  EXPECT_TRUE(same_bits(matrix_determinant(m, testing::compute()), 0.0f));
}

TEST(MatrixDeterminant, ProductsAreRoundedBeforeTheDifference) {
  // (1 + 2^-12)^2 = 1 + 2^-11 + 2^-24 rounds (a tie, to even) to 1 + 2^-11;
  // a fused multiply-add would keep the 2^-24.
  float a = 1.0f + std::ldexp(1.0f, -12);
  EXPECT_EQ(matrix_determinant(make_matrix({{a, 1}, {1, a}}), testing::compute()),
            std::ldexp(1.0f, -11));
}

// The fast determinant against the literal recursion, on every size up to
// 9 x 9 and every kind of element, singular matrices included.
TEST(MatrixDeterminant, EqualsThePlainRecursionBitForBit) {
  std::mt19937 rng(3);
  for (std::uint32_t n = 0; n <= 9; ++n) {
    int rounds = n <= 6 ? 300 : n == 7 ? 60 : n == 8 ? 12 : 3;
    for (int round = 0; round < rounds; ++round) {
      auto mix = testing::kAllMixes[round % 3];
      Matrix m = testing::random_matrix(rng, n, n, mix);
      if (round % 7 == 6 && n >= 2) {
        std::copy_n(m.data[0], n, m.data[n - 1]);  // singular: two equal rows
      }
      ASSERT_TRUE(same_bits(reference::determinant(m), reference::memo_determinant(m)))
          << n << "x" << n;
      float expected = reference::ranged_determinant(m, reference::kPlain);
      float actual = matrix_determinant(m, testing::compute());
      ASSERT_TRUE(same_bits(expected, actual))
          << n << "x" << n << " round " << round << ": " << std::hexfloat << actual << ", expected "
          << expected;
    }
  }
}

}  // namespace
}  // namespace quolvend
