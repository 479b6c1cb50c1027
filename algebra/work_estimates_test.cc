#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "algebra/determinant.h"
#include "algebra/inverse.h"
#include "algebra/product.h"
#include "process/progress.h"
#include "tests/test_util.h"

namespace quolvend {
namespace {

// The progress line's estimates are the work the operations report, exactly,
// on both paths, on a NaN matrix too, and with any thread count.
TEST(WorkEstimates, EqualTheWorkReported) {
  std::mt19937 rng(9);
  for (std::uint32_t n : {3u, 4u, 5u, 9u, 16u, 26u, 27u, 64u, 65u, 130u}) {
    for (bool nan : {false, true}) {
      Matrix m = testing::random_matrix(rng, n, n, testing::Mix::mixed_magnitudes);
      if (nan) m.data[n / 2][1] = NAN;
      for (unsigned threads : {1u, 3u}) {
        const Compute c{threads, best_instruction_set()};
        if (n < 26) {  // a 26 x 26 determinant is quick; its inverse is not
          progress_start(inverse_work(m));
          matrix_inverse(m, c);
          EXPECT_EQ(progress_done(), inverse_work(m)) << "inverse " << n << ", NaN " << nan;
        }
        progress_start(determinant_work(m));
        matrix_determinant(m, c);
        EXPECT_EQ(progress_done(), determinant_work(m)) << "determinant " << n << ", NaN " << nan;
        if (n >= 27) {
          progress_start(inverse_work(m));
          matrix_inverse(m, c);
          EXPECT_EQ(progress_done(), inverse_work(m)) << "inverse " << n << ", NaN " << nan;
        }
        Matrix b = testing::random_matrix(rng, n, n + 5, testing::Mix::mixed_magnitudes);
        progress_start(multiply_work(m, b));
        matrix_multiply(m, b, c);
        EXPECT_EQ(progress_done(), multiply_work(m, b)) << "product " << n;
      }
    }
  }
  progress_start(0);
}

}  // namespace
}  // namespace quolvend
