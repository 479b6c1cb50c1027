#include "algebra/range.h"

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

using testing::make_matrix;
using testing::same_bits;

// Units do not change digits: powers of two on the rows and the columns of a
// matrix whose expansion stays in range scale its determinant and inverse
// exactly, bit for bit, rounded once, however far out they push the
// expansion (there the second run takes over, on the same equilibrated matrix).
TEST(Range, PowersOfTwoOnRowsAndColumnsScaleTheResultsExactly) {
  std::mt19937 rng(27);
  std::uniform_real_distribution<float> element(-1.0f, 1.0f);
  std::uniform_int_distribution<int> power(-50, 50);
  for (std::uint32_t n = 1; n <= 12; ++n) {
    for (int round = 0; round < (n <= 8 ? 12 : 2); ++round) {
      Matrix m = matrix_create(n, n), scaled = matrix_create(n, n);
      std::vector<int> k(n), l(n);
      int total = 0;
      for (std::uint32_t i = 0; i < n; ++i) {
        k[i] = power(rng);
        l[i] = power(rng);
        total += k[i] + l[i];
      }
      for (std::uint32_t i = 0; i < n; ++i) {
        for (std::uint32_t j = 0; j < n; ++j) {
          m.data[i][j] = element(rng);
          scaled.data[i][j] = std::ldexp(m.data[i][j], k[i] + l[j]);
          ASSERT_TRUE(std::isnormal(scaled.data[i][j]));
        }
      }
      const RangeWatch watch;
      const float det = matrix_determinant(m, testing::compute());
      Matrix inverse = matrix_inverse(m, testing::compute());
      ASSERT_FALSE(watch.left()) << n;
      ASSERT_TRUE(same_bits(std::ldexp(det, total), matrix_determinant(scaled, testing::compute())))
          << n;
      Matrix inverse_scaled = matrix_inverse(scaled, testing::compute());
      for (std::uint32_t r = 0; r < n; ++r) {
        for (std::uint32_t c = 0; c < n; ++c) {
          ASSERT_TRUE(
              same_bits(std::ldexp(inverse.data[r][c], -(l[r] + k[c])), inverse_scaled.data[r][c]))
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

// Ordinary matrices whose expansion leaves float's range on its way, whether
// or not its answer lies in it, against a double-precision LU: integers,
// scaled identities, entries near 1e15, random matrices scaled far out, half
// the rows far from the other half, columns graded over 2^200, most columns
// near 0.001.
TEST(Range, OrdinaryMatricesAtTheRangesEdgesMatchDoublePrecision) {
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
  // Random, or (for the inverses, which show the conditioning in every
  // digit) random with its diagonal weighted.
  auto random = [&](std::uint32_t, std::uint32_t) { return unit(rng); };
  auto conditioned = [&](std::uint32_t i, std::uint32_t j) { return unit(rng) + (i == j) * 4.0f; };
  using Element = std::function<float(std::uint32_t, std::uint32_t)>;
  // Rows 0 .. n/2 - 1 times 2^a, the rest times 2^-a.
  auto halves = [&](std::uint32_t n, int a, Element base) {
    return [n, a, base](std::uint32_t i, std::uint32_t j) {
      return std::ldexp(base(i, j), i < n / 2 ? a : -a);
    };
  };
  auto graded = [&](std::uint32_t n, Element base) {
    return [n, base](std::uint32_t i, std::uint32_t j) {
      return std::ldexp(base(i, j), -100 + static_cast<int>(200 * j / (n - 1)));
    };
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
      {"rows 2^12 and 2^-12", 26, halves(26, 12, random), false},
      {"rows 2^15 and 2^-15", 20, halves(20, 15, conditioned), true},
      {"rows 2^72 and 2^-72", 4, halves(4, 72, conditioned), true},
      {"columns 2^-100 to 2^100", 12, graded(12, conditioned), true},
      {"columns 2^-100 to 2^100", 20, graded(20, conditioned), true},
      {"columns 2^-100 to 2^100", 22, graded(22, random), false},
      {"three quarters of the columns near 0.001", 20,
       [&](auto i, auto j) { return conditioned(i, j) * (j % 4 == 0 ? 1.0f : 0.001f); }, true},
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
            << f.name << ", " << f.n << " at " << r << ", " << c << ": " << a << ", expected " << e;
      }
    }
  }
}

// A quotient in range prints its digits even where the divisor's inverse lies
// beyond float, its scale in the divisor's rows or in its columns.
TEST(Range, QuotientsInRangeKeepTheirDigits) {
  struct Case {
    Matrix a, b, quotient;
  };
  const Case cases[] = {
      {make_matrix({{2e-39f}}), make_matrix({{1e-39f}}), make_matrix({{2}})},
      {make_matrix({{0, 1}}), make_matrix({{1e-39f, 0}, {0, 1}}), make_matrix({{0, 1}})},
      // b^-1 = [[2, -1], [-1e39, 1e39]].
      {make_matrix({{0, 1e-39f}}), make_matrix({{1, 1e-39f}, {1, 2e-39f}}), make_matrix({{-1, 1}})},
      // The term that survives is the smallest of a's.
      {make_matrix({{3e-39f, 2, 4e30f}}), make_matrix({{1e-39f, 0, 0}, {0, 1, 0}, {0, 0, 1e30f}}),
       make_matrix({{3, 2, 4}})},
  };
  for (const Case& c : cases) {
    std::optional<Matrix> q = matrix_divide(c.a, c.b, testing::compute());
    ASSERT_TRUE(q);
    for (std::uint32_t j = 0; j < c.quotient.cols; ++j)
      EXPECT_NEAR(q->data[0][j], c.quotient.data[0][j], 1e-6f) << c.b.rows << " at " << j;
  }
}

}  // namespace
}  // namespace quolvend
