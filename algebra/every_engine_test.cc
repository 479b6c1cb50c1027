// Every instruction-set variant and thread count gives the plain
// transcriptions' bits: one driver over a table of cases, the product, the
// determinant and inverse by cofactor expansion, and the LU, each case with
// its inputs and the reference it must equal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "algebra/determinant.h"
#include "algebra/inverse.h"
#include "algebra/lu.h"
#include "algebra/product.h"
#include "tests/reference.h"
#include "tests/test_util.h"

namespace quolvend {
namespace {

using testing::Mix;

// What a case gave: a determinant, or a matrix's elements; nothing where the
// operation refused.
using Values = std::optional<std::vector<float>>;

Values values(const Matrix& m) {
  return std::vector<float>(m.storage.get(), m.storage.get() + matrix_size(m));
}
Values values(const std::optional<Matrix>& m) { return m ? values(*m) : std::nullopt; }
Values values(float x) { return std::vector<float>{x}; }

struct Case {
  std::string name;
  Values expected;
  std::function<Values(const Compute&)> run;  // its operands are captured
};

// Products: shapes on both sides of every block size, 0 and 1 wide included,
// and an inner size that needs several runs of k.
void add_products(std::vector<Case>& cases) {
  const std::uint32_t sizes[] = {0, 1, 2, 5, 6, 7, 15, 16, 17, 33, 97, 257, 520};
  std::mt19937 rng(11);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(sizes) - 1);
  for (int round = 0; round < 60; ++round) {
    std::uint32_t m = sizes[pick(rng)], k = sizes[pick(rng)], n = sizes[pick(rng)];
    if (std::uint64_t{m} * k * n > 20'000'000) continue;
    const Mix mix = testing::kAllMixes[round % 3];
    auto a = std::make_shared<Matrix>(testing::random_matrix(rng, m, k, mix));
    auto b = std::make_shared<Matrix>(testing::random_matrix(rng, k, n, mix));
    cases.push_back({"product " + std::to_string(m) + "x" + std::to_string(k) + " times " +
                         std::to_string(k) + "x" + std::to_string(n),
                     values(reference::multiply(*a, *b)),
                     [a, b](const Compute& c) { return values(matrix_multiply(*a, *b, c)); }});
  }
}

// Cofactor expansion beyond the plain recursion's reach, against the memoised
// one; from 15 x 15 on, levels are split over the threads.
void add_determinants(std::vector<Case>& cases) {
  std::mt19937 rng(7);
  for (std::uint32_t n : {10u, 13u, 15u, 16u, 17u, 20u}) {
    for (Mix mix : testing::kAllMixes) {
      auto m = std::make_shared<Matrix>(testing::random_matrix(rng, n, n, mix));
      cases.push_back({"determinant " + std::to_string(n),
                       values(reference::ranged_determinant(*m, reference::kMemo)),
                       [m](const Compute& c) { return values(matrix_determinant(*m, c)); }});
    }
  }
}

void add_rescued(std::vector<Case>& cases) {
  std::mt19937 rng(8);
  // Two tiny elements make 2 x 2 minors underflow however the matrix is
  // scaled, so the LU in double answers: in the last two rows, the
  // determinant's own; a row higher, only those of the cofactors without the
  // last row. The rest lie in -1 .. 1, whose terms cancel, so that the LU's
  // digits are not the expansion's.
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  for (std::uint32_t n : {10u, 17u}) {
    for (std::uint32_t row : {n - 1, n - 2}) {
      auto m = std::make_shared<Matrix>(matrix_create(n, n));
      for (std::size_t i = 0; i < matrix_size(*m); ++i) m->storage[i] = unit(rng);
      m->data[row][0] = m->data[row - 1][1] = 1e-30f;
      const std::string name = std::to_string(n) + ", tiny in row " + std::to_string(row);
      cases.push_back({"determinant " + name,
                       values(reference::ranged_determinant(*m, reference::kMemo)),
                       [m](const Compute& c) { return values(matrix_determinant(*m, c)); }});
      cases.push_back({"inverse " + name, values(reference::ranged_inverse(*m, reference::kMemo)),
                       [m](const Compute& c) { return values(matrix_inverse(*m, c)); }});
    }
  }
}

// The inverses of random matrices; from 20 x 20 (`large`), against the
// one-thread portable result, the plain memoised one being too slow.
void add_inverses(std::vector<Case>& cases, bool large) {
  std::mt19937 inverse_rng(19);
  for (std::uint32_t n : {9u, 12u, 15u, 16u, 20u}) {
    if ((n >= 20) != large) {
      testing::random_matrix(inverse_rng, n, n, testing::kAllMixes[n % 3]);
      continue;
    }
    auto m = std::make_shared<Matrix>(
        testing::random_matrix(inverse_rng, n, n, testing::kAllMixes[n % 3]));
    std::optional<Matrix> ranged = reference::ranged_inverse(*m, reference::kMemo);
    if (!ranged) continue;
    cases.push_back({"inverse " + std::to_string(n),
                     n <= 16 ? values(ranged) : values(matrix_inverse(*m, Compute{})),
                     [m](const Compute& c) { return values(matrix_inverse(*m, c)); }});
  }
}

// The blocked, threaded, vectorised LU against the plain unblocked
// transcription, at sizes around the tile, leaf, panel, chunk and solve-block
// edges (300 has three panels, the last two past a chunk of columns). Values
// stay small enough that the plain product of the pivots cannot overflow.
void add_lu(std::vector<Case>& cases) {
  std::mt19937 rng(27);
  for (std::uint32_t n : {3u, 4u, 5u, 17u, 27u, 28u, 63u, 64u, 65u, 130u, 300u}) {
    for (int kind = 0; kind < 4; ++kind) {
      const Mix mix = kind < 3 ? testing::kAllMixes[kind] : Mix::small_integers;
      auto m = std::make_shared<Matrix>(kind < 3 ? testing::random_matrix(rng, n, n, mix)
                                                 : testing::shuffled_hilbert(rng, n));
      if (kind < 2) {
        for (std::size_t i = 0; i < matrix_size(*m); ++i) m->storage[i] *= 0.25f;
      }
      const std::string name = std::to_string(n) + ", kind " + std::to_string(kind);
      if (kind != 2 || n <= 64) {
        cases.push_back({"LU determinant " + name, values(reference::lu_determinant(*m)),
                         [m](const Compute& c) { return values(lu_determinant(*m, c)); }});
      }
      cases.push_back(
          {"LU inverse " + name, values(reference::lu_inverse(*m)), [m](const Compute& c) {
             Matrix inverse = matrix_create(m->rows, m->cols);
             return lu_invert(*m, inverse, c) ? values(inverse) : std::nullopt;
           }});
    }
  }
}

// One part of the table a test, so that they run side by side.
class EveryEngine : public ::testing::TestWithParam<const char*> {};

TEST_P(EveryEngine, GivesThePlainTranscriptionsBitForBit) {
  std::vector<Case> cases;
  const std::string part = GetParam();
  if (part == "products") add_products(cases);
  if (part == "determinants") add_determinants(cases);
  if (part == "inverses") add_inverses(cases, false);
  if (part == "large_inverses") add_inverses(cases, true);
  if (part == "rescued") add_rescued(cases);
  if (part == "lu") add_lu(cases);
  ASSERT_FALSE(cases.empty());
  for (const Case& c : cases) {
    // The expansions' minor tables take no tile of the engine's.
    const bool every_tile = part == "products" || part == "lu";
    testing::for_each_compute(
        [&](const Compute& compute, const std::string& setting) {
          const Values actual = c.run(compute);
          ASSERT_EQ(c.expected.has_value(), actual.has_value()) << c.name << ", " << setting;
          if (!actual) return;
          ASSERT_EQ(c.expected->size(), actual->size()) << c.name;
          for (std::size_t i = 0; i < actual->size(); ++i) {
            ASSERT_TRUE(testing::same_bits((*c.expected)[i], (*actual)[i]))
                << c.name << ", " << setting << ", element " << i << ": " << (*actual)[i]
                << ", expected " << (*c.expected)[i];
          }
        },
        every_tile);
  }
}

INSTANTIATE_TEST_SUITE_P(Parts, EveryEngine,
                         ::testing::Values("products", "determinants", "inverses", "large_inverses",
                                           "rescued", "lu"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace quolvend
