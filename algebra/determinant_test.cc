#include "algebra/determinant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "algebra/inverse.h"
#include "algebra/product.h"
#include "process/parallel.h"
#include "process/progress.h"
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
  EXPECT_TRUE(std::isnan(matrix_determinant(m)));
}

TEST(MatrixDeterminant, SumStartsAtPositiveZero) {
  // Every term is +0 x (a negative factor) = -0, so a sum started at -0
  // would stay -0.
  Matrix m = make_matrix({{-1, 1, -1}, {0, 0, 0}, {0, 0, 0}});
  EXPECT_TRUE(same_bits(matrix_determinant(m), 0.0f));
}

TEST(MatrixDeterminant, ProductsAreRoundedBeforeTheDifference) {
  // (1 + 2^-12)^2 = 1 + 2^-11 + 2^-24 rounds (a tie, to even) to 1 + 2^-11;
  // a fused multiply-add would keep the 2^-24.
  float a = 1.0f + std::ldexp(1.0f, -12);
  EXPECT_EQ(matrix_determinant(make_matrix({{a, 1}, {1, a}})), std::ldexp(1.0f, -11));
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
      float actual = matrix_determinant(m);
      ASSERT_TRUE(same_bits(expected, actual))
          << n << "x" << n << " round " << round << ": " << std::hexfloat << actual << ", expected "
          << expected;
    }
  }
}

// Beyond the plain recursion's reach, against the memoised one, with every
// instruction-set variant and thread count; from 15 x 15 on, levels are split over
// the threads.
TEST(MatrixDeterminant, EqualsTheMemoisedRecursionOnEveryEngine) {
  std::mt19937 rng(7);
  for (std::uint32_t n : {10u, 13u, 15u, 16u, 17u, 20u}) {
    for (auto mix : testing::kAllMixes) {
      Matrix m = testing::random_matrix(rng, n, n, mix);
      float expected = reference::ranged_determinant(m, reference::kMemo);
      testing::for_each_engine([&](const std::string& setting) {
        ASSERT_TRUE(same_bits(expected, matrix_determinant(m))) << n << "x" << n << ", " << setting;
      });
    }
  }
}

// The progress line's estimates are the work the operations report, exactly,
// on both paths, on a NaN matrix too, and with any thread count.
TEST(WorkEstimates, EqualTheWorkReported) {
  std::mt19937 rng(9);
  for (std::uint32_t n : {3u, 4u, 5u, 9u, 16u, 26u, 27u, 64u, 65u, 130u}) {
    for (bool nan : {false, true}) {
      Matrix m = testing::random_matrix(rng, n, n, testing::Mix::mixed_magnitudes);
      if (nan) m.data[n / 2][1] = NAN;
      for (unsigned threads : {1u, 3u}) {
        set_thread_count(threads);
        if (n < 26) {  // a 26 x 26 determinant is quick; its inverse is not
          progress_start(inverse_work(m));
          matrix_inverse(m);
          EXPECT_EQ(progress_done(), inverse_work(m)) << "inverse " << n << ", NaN " << nan;
        }
        progress_start(determinant_work(m));
        matrix_determinant(m);
        EXPECT_EQ(progress_done(), determinant_work(m)) << "determinant " << n << ", NaN " << nan;
        if (n >= 27) {
          progress_start(inverse_work(m));
          matrix_inverse(m);
          EXPECT_EQ(progress_done(), inverse_work(m)) << "inverse " << n << ", NaN " << nan;
        }
        Matrix b = testing::random_matrix(rng, n, n + 5, testing::Mix::mixed_magnitudes);
        progress_start(multiply_work(m, b));
        matrix_multiply(m, b);
        EXPECT_EQ(progress_done(), multiply_work(m, b)) << "product " << n;
      }
    }
  }
  set_thread_count(0);
  progress_start(0);
}

}  // namespace
}  // namespace quolvend
