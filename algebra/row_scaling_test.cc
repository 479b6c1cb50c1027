#include "algebra/row_scaling.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <random>
#include <string>

#include "algebra/determinant.h"
#include "algebra/inverse.h"
#include "tests/reference.h"
#include "tests/test_util.h"

namespace quolvend {
namespace {

using testing::same_bits;

// The argument the second run rests on: while every value stays normal,
// powers of two on the rows scale the expansion's determinant and inverse
// exactly, bit for bit, whatever the roundings.
TEST(RowScaling, PowersOfTwoOnTheRowsScaleTheResultsExactly) {
  std::mt19937 rng(27);
  std::uniform_real_distribution<float> element(-1.0f, 1.0f);
  std::uniform_int_distribution<int> power(-12, 12);
  for (std::uint32_t n = 1; n <= 12; ++n) {
    for (int round = 0; round < (n <= 8 ? 20 : 3); ++round) {
      Matrix m = matrix_create(n, n), scaled = matrix_create(n, n);
      std::vector<int> k(n);
      int total = 0;
      for (std::uint32_t i = 0; i < n; ++i) {
        k[i] = power(rng);
        total += k[i];
        for (std::uint32_t j = 0; j < n; ++j) {
          m.data[i][j] = element(rng);
          scaled.data[i][j] = std::ldexp(m.data[i][j], k[i]);
        }
      }
      const float det = matrix_determinant(m, testing::compute());
      ASSERT_TRUE(std::isnormal(det));
      ASSERT_TRUE(same_bits(std::ldexp(det, total), matrix_determinant(scaled, testing::compute())))
          << n;
      Matrix inverse = matrix_inverse(m, testing::compute()),
             inverse_scaled = matrix_inverse(scaled, testing::compute());
      for (std::uint32_t r = 0; r < n; ++r) {
        for (std::uint32_t c = 0; c < n; ++c) {
          ASSERT_TRUE(same_bits(std::ldexp(inverse.data[r][c], -k[c]), inverse_scaled.data[r][c]))
              << n << " x " << n << " at " << r << ", " << c;
        }
      }
    }
  }
}

// Whether `actual` is `exact`, a double-precision value, as single precision
// shows it: infinite or zero where it lies beyond the range, else within
// `tolerance` of it relatively (the expansion rounds in single precision).
::testing::AssertionResult near(double exact, float actual, double tolerance) {
  if (std::fabs(exact) > FLT_MAX ? actual == static_cast<float>(std::copysign(INFINITY, exact))
      : std::fabs(exact) < FLT_TRUE_MIN / 2.0
          ? actual == 0.0f
          : std::fabs(actual - exact) <= tolerance * std::fabs(exact)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << actual << ", exact " << exact;
}

// Ordinary matrices whose expansion leaves float's range although the answer
// lies in it, or beyond it, against a double-precision LU: integers, scaled
// identities, entries near 1e15, random matrices scaled far out.
TEST(RowScaling, OrdinaryMatricesAtTheRangesEdgesMatchDoublePrecision) {
  std::mt19937 rng(2027);
  struct Family {
    std::string name;
    std::uint32_t n;
    std::function<float(std::uint32_t, std::uint32_t)> element;
    bool invert;
  };
  std::uniform_int_distribution<int> hundred(0, 99), thousand(0, 999);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  auto identity = [](float x) {
    return [x](std::uint32_t i, std::uint32_t j) { return i == j ? x : 0.0f; };
  };
  const Family families[] = {
      {"integers 0-99", 20, [&](auto, auto) { return static_cast<float>(hundred(rng)); }, true},
      {"integers 0-999", 14, [&](auto, auto) { return static_cast<float>(thousand(rng)); }, true},
      {"40 I", 26, identity(40.0f), false},
      {"90 I", 20, identity(90.0f), true},
      {"0.03 I", 26, identity(0.03f), false},
      {"0.03 I", 22, identity(0.03f), true},
      {"0.004 I", 21, identity(0.004f), true},
      {"near 1e15", 3, [&](auto i, auto j) { return 1e15f * (1.0f + 0.1f * unit(rng) + (i == j)); },
       true},
      {"random times 2^100", 16, [&](auto, auto) { return std::ldexp(unit(rng), 100); }, true},
      {"random times 2^-100", 9, [&](auto, auto) { return std::ldexp(unit(rng), -100); }, true},
      {"rows from 2^-60 to 2^60", 25,
       [&](auto i, auto) { return std::ldexp(unit(rng), static_cast<int>(i) * 5 - 60); }, false},
  };
  for (const Family& f : families) {
    Matrix m = matrix_create(f.n, f.n);
    for (std::uint32_t i = 0; i < f.n; ++i) {
      for (std::uint32_t j = 0; j < f.n; ++j) m.data[i][j] = f.element(i, j);
    }
    // The LU in double keeps its exponent in range for these.
    const double exact = reference::lu_determinant_in_double(m);
    EXPECT_TRUE(near(exact, matrix_determinant(m, testing::compute()), 1e-3))
        << f.name << ", " << f.n;
    if (!f.invert) continue;
    const std::optional<Matrix> expected = reference::lu_inverse(m);
    ASSERT_TRUE(expected) << f.name;
    Matrix inverse = matrix_inverse(m, testing::compute());
    for (std::uint32_t r = 0; r < f.n; ++r) {
      for (std::uint32_t c = 0; c < f.n; ++c) {
        // To the printed digits: within one unit of the third decimal, or
        // relatively close where the values are large.
        const float e = expected->data[r][c], a = inverse.data[r][c];
        ASSERT_LE(std::fabs(a - e), std::max(1e-3f, 1e-4f * std::fabs(e)))
            << f.name << " at " << r << ", " << c << ": " << a << ", expected " << e;
      }
    }
  }
}

}  // namespace
}  // namespace quolvend
