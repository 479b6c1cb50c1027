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

// Sizes around the tile, leaf, panel, chunk and solve-block edges; 300 has
// three panels, the last two past a chunk of columns.
constexpr std::uint32_t kSizes[] = {3, 4, 5, 17, 27, 28, 63, 64, 65, 130, 300};

// A Hilbert matrix, 1 / (i + j + 1) in single precision, its rows shuffled:
// so ill-conditioned that any term taken in another order changes the single-
// precision result too, not only the double working values.
Matrix shuffled_hilbert(std::mt19937& rng, std::uint32_t n) {
  std::vector<std::uint32_t> order(n);
  for (std::uint32_t i = 0; i < n; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), rng);
  Matrix m = matrix_create(n, n);
  for (std::uint32_t i = 0; i < n; ++i) {
    for (std::uint32_t j = 0; j < n; ++j)
      m.data[i][j] = 1.0f / static_cast<float>(order[i] + j + 1);
  }
  return m;
}

// The blocked, threaded, vectorised factorisation and solves against the plain
// unblocked transcription, bit for bit, on every engine. Values stay small
// enough that the plain product of the pivots cannot overflow.
TEST(Lu, EqualsThePlainFactorisationBitForBitOnEveryEngine) {
  std::mt19937 rng(27);
  for (std::uint32_t n : kSizes) {
    for (int kind = 0; kind < 4; ++kind) {
      testing::Mix mix = kind < 3 ? testing::kAllMixes[kind] : testing::Mix::small_integers;
      Matrix m = kind < 3 ? testing::random_matrix(rng, n, n, mix) : shuffled_hilbert(rng, n);
      if (kind < 2) {
        for (std::size_t i = 0; i < matrix_size(m); ++i) m.storage[i] *= 0.25f;
      }
      const float det = kind != 2 || n <= 64 ? reference::lu_determinant(m) : NAN;
      auto inverse = reference::lu_inverse(m);
      testing::for_each_engine([&](const std::string& setting) {
        if (!std::isnan(det)) {
          ASSERT_TRUE(same_bits(det, lu_determinant(m))) << n << ", " << setting;
        }
        Matrix actual = matrix_create(n, n);
        ASSERT_EQ(inverse.has_value(), lu_invert(m, actual)) << n << ", " << setting;
        if (inverse) {
          ASSERT_TRUE(bits_equal(*inverse, actual)) << n << ", " << setting;
        }
      });
    }
  }
}

// The inverse by identity: A X is near I. And det(AB) = det A det B on
// integer factors whose product is exact: A unit lower, B upper.
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
    Matrix a = *matrix_multiply(lower, upper);
    EXPECT_NEAR(matrix_determinant(a) / expected, 1.0, 1e-5) << n;
    Matrix x = matrix_inverse(a);
    Matrix identity = *matrix_multiply(a, x);
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
  EXPECT_FALSE(lu_invert(m, out));
  EXPECT_TRUE(same_bits(lu_determinant(m), 0.0f));

  Matrix tiny = matrix_create(n, n);
  for (std::uint32_t i = 0; i < n; ++i) tiny.data[i][i] = 0.01f;
  EXPECT_EQ(lu_determinant(tiny), 0.0f);  // 1e-80 is below single precision
  ASSERT_TRUE(lu_invert(tiny, out));
  EXPECT_EQ(out.data[3][3], 100.0f);

  tiny.data[2][7] = NAN;
  EXPECT_TRUE(std::isnan(lu_determinant(tiny)));

  // Partial products of the pivots far beyond double precision, and back:
  // the exponent is kept apart.
  Matrix wide = matrix_create(n, n);
  for (std::uint32_t i = 0; i < n; ++i) wide.data[i][i] = i < n / 2 ? 1e30f : 1e-30f;
  EXPECT_NEAR(lu_determinant(wide), 1.0, 1e-4);
}

// A pivot tie goes to the first such row. Random and well-conditioned inputs hide
// the rule behind the rounding to single precision; a Hilbert matrix with two
// tied first-column entries shows it in hundreds of printed elements.
TEST(Lu, PivotTiesGoToTheFirstSuchRow) {
  std::mt19937 rng(3);
  Matrix m = shuffled_hilbert(rng, 27);
  m.data[3][0] = 1.0f;
  m.data[7][0] = -1.0f;
  Matrix actual = matrix_create(27, 27);
  ASSERT_TRUE(lu_invert(m, actual));
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
    EXPECT_FALSE(lu_invert(m, out)) << factor;
    EXPECT_TRUE(same_bits(lu_determinant(m), 0.0f)) << factor;
  }
  // Reversing n rows takes n (n - 1) / 2 swaps of neighbours.
  for (std::uint32_t n : {27u, 29u}) {
    Matrix reversal = matrix_create(n, n);
    for (std::uint32_t i = 0; i < n; ++i) reversal.data[i][n - 1 - i] = 1.0f;
    EXPECT_EQ(lu_determinant(reversal), n * (n - 1) / 2 % 2 ? -1.0f : 1.0f) << n;
  }
}

}  // namespace
}  // namespace quolvend
