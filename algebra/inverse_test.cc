#include "algebra/inverse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "algebra/determinant.h"
#include "algebra/product.h"
#include "tests/reference.h"
#include "tests/test_util.h"

namespace quolvend {
namespace {

using testing::bits_equal;

// The fast inverse against the literal algorithm (a cut and a full recursion
// per cofactor) on every size up to 8 x 8 and every kind of element.
TEST(MatrixInverse, EqualsThePlainAlgorithmBitForBit) {
  std::mt19937 rng(17);
  for (std::uint32_t n = 1; n <= 8; ++n) {
    int rounds = n <= 5 ? 200 : n == 6 ? 40 : n == 7 ? 8 : 3;
    for (int round = 0; round < rounds; ++round) {
      Matrix m = testing::random_matrix(rng, n, n, testing::kAllMixes[round % 3]);
      std::optional<Matrix> expected = reference::ranged_inverse(m, reference::kPlain);
      if (!expected) continue;
      ASSERT_TRUE(bits_equal(*expected, matrix_inverse(m, testing::compute())))
          << n << "x" << n << " round " << round;
      if (n >= 2) {
        ASSERT_TRUE(bits_equal(*expected, *reference::ranged_inverse(m, reference::kMemo)));
      }
    }
  }
}

TEST(MatrixInverse, TimesTheMatrixIsNearTheIdentity) {
  std::mt19937 rng(23);
  for (std::uint32_t n : {3u, 9u, 13u}) {
    Matrix m = testing::random_matrix(rng, n, n, testing::Mix::mixed_magnitudes);
    for (std::uint32_t i = 0; i < n; ++i) {  // entries below 1, a heavy diagonal
      for (std::uint32_t j = 0; j < n; ++j) m.data[i][j] = std::fmod(m.data[i][j], 1.0f);
      m.data[i][i] += 4.0f;
    }
    auto product = matrix_multiply(m, matrix_inverse(m, testing::compute()), testing::compute());
    ASSERT_TRUE(product);
    for (std::uint32_t i = 0; i < n; ++i) {
      for (std::uint32_t j = 0; j < n; ++j) {
        EXPECT_NEAR(product->data[i][j], i == j ? 1.0f : 0.0f, 1e-4f) << n << ": " << i << "," << j;
      }
    }
  }
}

}  // namespace
}  // namespace quolvend
