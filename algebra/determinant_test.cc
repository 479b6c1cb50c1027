#include "algebra/determinant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "algebra/cut.h"
#include "tests/reference.h"
#include "tests/test_util.h"

namespace quolvend {
namespace {

using testing::make_matrix;
using testing::same_bits;

TEST(MatrixDeterminant, SmallCasesByHand) {
  EXPECT_EQ(matrix_determinant(matrix_create(0, 0)), 0.0f);
  EXPECT_EQ(matrix_determinant(make_matrix({{-7}})), -7.0f);
  EXPECT_EQ(matrix_determinant(make_matrix({{1, 2}, {3, 4}})), -2.0f);
  EXPECT_EQ(matrix_determinant(make_matrix({{2, 0, 1}, {1, 3, 2}, {1, 1, 1}})), 0.0f);
  EXPECT_EQ(matrix_determinant(make_matrix({{6, 1, 1}, {4, -2, 5}, {2, 8, 7}})), -306.0f);
  EXPECT_TRUE(std::isnan(matrix_determinant(make_matrix({{1e30f, 1e30f}, {1e30f, 1e30f}}))));
}

TEST(MatrixDeterminant, TermsOfZeroElementsAreStillAdded) {
  // 0 x inf is NaN: skipping the zero element's term would hide it.
  float inf = INFINITY;
  Matrix m = make_matrix({{0, 1, 1}, {inf, 1, 2}, {inf, 3, 4}});
  EXPECT_TRUE(std::isnan(matrix_determinant(m)));
}

TEST(MatrixDeterminant, SumStartsAtPositiveZero) {
  // Every term is -0, so a sum started at -0 would stay -0.
  Matrix m = make_matrix({{1, 1, 1}, {0, 0, 0}, {-0.0f, 0, 0}});
  EXPECT_TRUE(same_bits(matrix_determinant(m), 0.0f));
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
      float expected = reference::determinant(m);
      float actual = matrix_determinant(m);
      ASSERT_TRUE(same_bits(expected, actual))
          << n << "x" << n << " round " << round << ": " << std::hexfloat << actual
          << ", expected " << expected;
    }
  }
}

TEST(MatrixDeterminant, LargeMatricesGiveFiniteResults) {
  // Far beyond the plain recursion's reach; checks the table path runs through
  // its big levels and lands on a plausible value.
  std::mt19937 rng(5);
  for (std::uint32_t n : {14u, 18u}) {
    Matrix m = matrix_create(n, n);
    for (std::uint32_t i = 0; i < n; ++i) m.data[i][i] = 2.0f;
    m.data[0][n - 1] = 1.0f;
    EXPECT_EQ(matrix_determinant(m), std::ldexp(1.0f, static_cast<int>(n)));
    Matrix r = testing::random_matrix(rng, n, n, testing::Mix::small_integers);
    EXPECT_TRUE(std::isfinite(matrix_determinant(r)));
  }
}

TEST(MatrixCut, LeavesOutOneRowAndOneColumn) {
  Matrix m = make_matrix({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
  EXPECT_TRUE(testing::bits_equal(make_matrix({{1, 3}, {7, 9}}), matrix_cut(m, 1, 1)));
  EXPECT_TRUE(testing::bits_equal(make_matrix({{4, 5}, {7, 8}}), matrix_cut(m, 0, 2)));
  EXPECT_TRUE(testing::bits_equal(make_matrix({{5, 6}}),
                                  matrix_cut(make_matrix({{1, 2, 3}, {4, 5, 6}}), 0, 0)));
  Matrix empty = matrix_cut(make_matrix({{-0.0f}}), 0, 0);
  EXPECT_EQ(empty.rows, 0u);
  EXPECT_EQ(empty.cols, 0u);
}

}  // namespace
}  // namespace quolvend
