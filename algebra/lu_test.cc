#include "algebra/lu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "algebra/determinant.h"
#include "algebra/inverse.h"
#include "algebra/product.h"
#include "tests/reference.h"
#include "tests/test_util.h"

namespace quolvend {
namespace {

using testing::bits_equal;
using testing::same_bits;

TEST(Lu, InverseAndDeterminantSatisfyTheirIdentities) {
  std::mt19937 rng(28);
  std::uniform_int_distribution<int> small(-2, 2), diagonal(1, 3);
  for (std::uint32_t n : {27u, 40u, 100u}) {
    Matrix lower = matrix_create(n, n), upper = matrix_create(n, n);
    float expected = 1.0f;
    for (std::uint32_t i = 0; i < n; ++i) {
      for (std::uint32_t j = 0; j < n; ++j) {
        if (j < i) lower.data[i][j] = static_cast<float>(small(rng)) / 8;
        if (j > i) upper.data[i][j] = static_cast<float>(small(rng)) / 8;
      }
      lower.data[i][i] = 1.0f;
      upper.data[i][i] = static_cast<float>(diagonal(rng) * (i % 2 ? -1 : 1));
      expected *= upper.data[i][i];
    }
    Matrix a = *matrix_multiply(lower, upper, testing::compute());
    EXPECT_NEAR(matrix_determinant(a, testing::compute()) / expected, 1.0, 1e-5) << n;
    Matrix x = matrix_inverse(a, testing::compute());
    Matrix identity = *matrix_multiply(a, x, testing::compute());
    for (std::uint32_t i = 0; i < n; ++i) {
      for (std::uint32_t j = 0; j < n; ++j) {
        EXPECT_NEAR(identity.data[i][j], i == j ? 1.0 : 0.0, 1e-3) << n << " at " << i << "," << j;
      }
    }
  }
}

// Singular means a zero pivot column; a determinant that merely underflows
// is no reason to refuse; NaN spreads.
TEST(Lu, SingularUnderflowingAndNanMatrices) {
  const std::uint32_t n = 40;
  Matrix m = matrix_create(n, n);
  for (std::uint32_t i = 0; i < n; ++i) {
    for (std::uint32_t j = 0; j < n; ++j) m.data[i][j] = static_cast<float>((i * 7 + j * 3) % 11);
  }
  for (std::uint32_t j = 0; j < n; ++j) m.data[5][j] = m.data[9][j];  // two equal rows
  Matrix out = matrix_create(n, n);
  EXPECT_FALSE(lu_invert(m, out, testing::compute()));
  EXPECT_TRUE(same_bits(lu_determinant(m, testing::compute()), 0.0f));

  Matrix tiny = matrix_create(n, n);
  for (std::uint32_t i = 0; i < n; ++i) tiny.data[i][i] = 0.01f;
  EXPECT_EQ(lu_determinant(tiny, testing::compute()), 0.0f);  // 1e-80 is below single precision
  ASSERT_TRUE(lu_invert(tiny, out, testing::compute()));
  EXPECT_EQ(out.data[3][3], 100.0f);

  tiny.data[2][7] = NAN;
  EXPECT_TRUE(std::isnan(lu_determinant(tiny, testing::compute())));

  // Partial products of the pivots far beyond double precision, and back:
  // the exponent is kept apart.
  Matrix wide = matrix_create(n, n);
  for (std::uint32_t i = 0; i < n; ++i) wide.data[i][i] = i < n / 2 ? 1e30f : 1e-30f;
  EXPECT_NEAR(lu_determinant(wide, testing::compute()), 1.0, 1e-4);
}

// A pivot tie goes to the first such row. Random and well-conditioned inputs hide
// the rule behind the rounding to single precision; a Hilbert matrix with two
// tied first-column entries shows it in hundreds of printed elements.
TEST(Lu, PivotTiesGoToTheFirstSuchRow) {
  std::mt19937 rng(3);
  Matrix m = testing::shuffled_hilbert(rng, 27);
  m.data[3][0] = 1.0f;
  m.data[7][0] = -1.0f;
  Matrix actual = matrix_create(27, 27);
  ASSERT_TRUE(lu_invert(m, actual, testing::compute()));
  EXPECT_TRUE(bits_equal(*reference::lu_inverse(m), actual));
}

// Exact zero pivot columns from equal and proportional rows; the sign of a
// permutation's determinant.
TEST(Lu, SingularRowsAndPermutations) {
  std::mt19937 rng(4);
  for (float factor : {1.0f, 2.0f}) {
    Matrix m = testing::random_matrix(rng, 27, 27, testing::Mix::small_integers);
    for (std::uint32_t j = 0; j < 27; ++j) m.data[20][j] = factor * m.data[6][j];
    Matrix out = matrix_create(27, 27);
    EXPECT_FALSE(lu_invert(m, out, testing::compute())) << factor;
    EXPECT_TRUE(same_bits(lu_determinant(m, testing::compute()), 0.0f)) << factor;
  }
  // Reversing n rows takes n (n - 1) / 2 swaps of neighbours.
  for (std::uint32_t n : {27u, 29u}) {
    Matrix reversal = matrix_create(n, n);
    for (std::uint32_t i = 0; i < n; ++i) reversal.data[i][n - 1 - i] = 1.0f;
    EXPECT_EQ(lu_determinant(reversal, testing::compute()), n * (n - 1) / 2 % 2 ? -1.0f : 1.0f)
        << n;
  }
}

}  // namespace
}  // namespace quolvend
