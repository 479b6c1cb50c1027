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
  auto product = matrix_multiply(testing::make_matrix({{1, a}}), testing::make_matrix({{-1}, {a}}),
                                 testing::compute());
  ASSERT_TRUE(product);
  EXPECT_EQ(product->data[0][0], std::ldexp(1.0f, -11));
}

// Wider than one block of columns, with a ragged last block (the shapes
// around every tile and block edge are in every_engine_test.cc).
TEST(MatrixMultiply, RowsWiderThanABlockEqualThePlainLoop) {
  std::mt19937 rng(11);
  Matrix a = testing::random_matrix(rng, 7, 300, testing::Mix::mixed_magnitudes);
  Matrix b = testing::random_matrix(rng, 300, 1100, testing::Mix::mixed_magnitudes);
  EXPECT_TRUE(bits_equal(reference::multiply(a, b), *matrix_multiply(a, b, testing::compute())));
}

}  // namespace
}  // namespace quolvend
