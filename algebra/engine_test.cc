#include "algebra/engine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "algebra/engine_nest.h"
#include "tests/test_util.h"

namespace quolvend {
namespace {

// c(i, j) op= a(i, k) * b(k, j) for k ascending, each product and each sum
// rounded: the engine's order, written plainly.
template <typename T>
void plain(std::size_t rows, std::size_t cols, std::size_t depth, RowsOperand<T> a,
           ColumnsOperand<T> b, ResultBlock<T> c, bool subtract) {
  for (std::size_t i = 0; i < rows; ++i) {
    for (std::size_t j = 0; j < cols; ++j) {
      T& x = c.data[i * c.stride + j];
      for (std::size_t k = 0; k < depth; ++k) {
        const auto ik =
            static_cast<std::ptrdiff_t>(i) * a.stride + static_cast<std::ptrdiff_t>(k) * a.step;
        const T product =
            a.data[ik] *
            b.data[static_cast<std::ptrdiff_t>(k) * b.stride + static_cast<std::ptrdiff_t>(j)];
        x = subtract ? x - product : x + product;
      }
    }
  }
}

template <typename T>
std::vector<T> random_values(std::mt19937& rng, std::size_t n) {
  std::vector<T> v(n);
  for (T& x : v) x = static_cast<T>(testing::random_element(rng, testing::Mix::mixed_magnitudes));
  return v;
}

template <typename T>
bool same(const std::vector<T>& x, const std::vector<T>& y) {
  return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(T)) == 0;
}

// Caches this small make every block a few tiles, so that sizes of a few
// dozen cross the edges of each.
Tuning small_caches(unsigned tile) { return {tile, 2048, 16384, 65536}; }

// Sizes around the edges of a tile and of a block of `tile` and `blocks`.
std::vector<std::size_t> edges(std::size_t tile, std::size_t block) {
  return {1, tile - (tile > 1), tile, tile + 1, block - 1, block, block + tile + 1};
}

// One case against the plain loop: a c that does not start at zero (or does,
// for c_is_zero) inside a wider array whose other columns must stay as they
// are; `run` is the engine's way.
template <typename T, typename Run>
::testing::AssertionResult one_case(std::mt19937& rng, std::size_t rows, std::size_t cols,
                                    std::size_t depth, bool subtract, bool zero, Run run) {
  const std::size_t ldc = cols + 3;
  auto a = random_values<T>(rng, rows * depth), b = random_values<T>(rng, depth * cols);
  auto expected = zero ? std::vector<T>(rows * ldc) : random_values<T>(rng, rows * ldc);
  auto actual = expected;
  const RowsOperand<T> ra{a.data(), static_cast<std::ptrdiff_t>(depth), 1};
  const ColumnsOperand<T> cb{b.data(), static_cast<std::ptrdiff_t>(cols)};
  plain<T>(rows, cols, depth, ra, cb, {expected.data(), ldc}, subtract);
  run(rows, cols, depth, ra, cb, ResultBlock<T>{actual.data(), ldc});
  if (same(expected, actual)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << rows << " x " << cols << ", depth " << depth << (zero ? ", onto zeros" : "");
}

// Tiles and blocks cut by every edge of c, runs of k just short of, at and
// past a block, in every tile of every set's table, float adds and double
// subtracts.
TEST(Engine, EveryTileTakesItsTermsInOrderAtEveryEdge) {
  std::mt19937 rng(41);
  for (InstructionSet set : available_instruction_sets()) {
    for (unsigned tile = 0; tile < tile_count(set); ++tile) {
      const Compute compute{1, set, small_caches(tile)};
      for (bool is_double : {false, true}) {
        const TileSize size = tile_size(set, compute.tuning, is_double ? 8 : 4);
        const Blocks blocks = blocks_for(compute.tuning, size, is_double ? 8 : 4);
        for (int round = 0; round < 12; ++round) {
          const auto rows_list = edges(size.rows, blocks.rows);
          const auto cols_list = edges(size.cols, blocks.cols);
          const std::size_t depths[] = {1, blocks.depth - 1, blocks.depth, blocks.depth + 1};
          const std::size_t rows = rows_list[rng() % rows_list.size()];
          const std::size_t cols = cols_list[rng() % cols_list.size()];
          const std::size_t depth = depths[rng() % std::size(depths)];
          const std::string name = std::string(instruction_set_name(set)) + " tile " +
                                   std::to_string(tile) + (is_double ? " double" : " float");
          if (is_double) {
            EngineScratch<double> scratch(compute);
            ASSERT_TRUE(one_case<double>(rng, rows, cols, depth, true, false, [&](auto... args) {
              subtract_product(args..., scratch, compute);
            })) << name;
          } else {
            EngineScratch<float> scratch(compute);
            const bool zero = round % 3 == 0;
            ASSERT_TRUE(one_case<float>(rng, rows, cols, depth, false, zero, [&](auto... args) {
              add_product(args..., scratch, compute, zero);
            })) << name;
          }
        }
      }
    }
  }
}

// A tile no table holds, 8 rows x 3 vectors: a block of 512 or 256 columns is
// no multiple of its 48 or 24, and the buffers, sized from the blocks, hold
// its padded slivers all the same.
TEST(Engine, AnAwkwardTileFitsItsBuffers) {
  std::mt19937 rng(42);
  using Awkward = Nest<float, false, 8, 3, 64>;
  for (const Tuning& tuning : {small_caches(0), Tuning{}}) {
    const Blocks blocks = blocks_for(tuning, Awkward::kTile, sizeof(float));
    std::vector<float> scratch(nest_scratch_elements(tuning, Awkward::kTile, sizeof(float)));
    for (std::size_t rows : {std::size_t{7}, blocks.rows + 9}) {
      for (std::size_t cols : {std::size_t{47}, blocks.cols + 1, std::size_t{1000}}) {
        ASSERT_TRUE(one_case<float>(
            rng, rows, cols, blocks.depth + 1, false, false,
            [&](auto... args) { Awkward::run(args..., scratch.data(), tuning, false); }));
      }
    }
  }
}

// The LU's backward solve walks k downwards: a with a negative step, b with a
// negative stride; double subtracts, on every set.
TEST(Engine, NegativeStepsWalkTermsDownwards) {
  std::mt19937 rng(43);
  for (InstructionSet set : available_instruction_sets()) {
    const Compute compute{1, set, testing::machine_tuning(set)};
    EngineScratch<double> scratch(compute);
    for (std::size_t depth : {1u, 17u, 300u}) {
      const std::size_t rows = 9, cols = 21;
      auto a = random_values<double>(rng, rows * depth),
           b = random_values<double>(rng, depth * cols);
      auto expected = random_values<double>(rng, rows * cols), actual = expected;
      // a(i, k) = a[i * depth + (depth - 1 - k)], b(k, j) = b[(depth - 1 - k) * cols + j].
      const RowsOperand<double> ra{a.data() + (depth - 1), static_cast<std::ptrdiff_t>(depth), -1};
      const ColumnsOperand<double> cb{b.data() + (depth - 1) * cols,
                                      -static_cast<std::ptrdiff_t>(cols)};
      plain<double>(rows, cols, depth, ra, cb, {expected.data(), cols}, true);
      subtract_product(rows, cols, depth, ra, cb, {actual.data(), cols}, scratch, compute);
      ASSERT_TRUE(same(expected, actual)) << instruction_set_name(set) << ", depth " << depth;
    }
  }
}

}  // namespace
}  // namespace quolvend
