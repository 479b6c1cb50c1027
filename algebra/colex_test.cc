#include "algebra/colex.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

namespace quolvend {
namespace {

// The k-subsets of {0 .. n-1} as bit sets in colex order: the numeric order.
std::vector<std::uint64_t> colex_sets(unsigned n, unsigned k) {
  std::vector<std::uint64_t> sets;
  for (std::uint64_t set = 0; set < (std::uint64_t{1} << n); ++set) {
    if (static_cast<unsigned>(std::popcount(set)) == k) sets.push_back(set);
  }
  return sets;
}

TEST(ColexWalk, VisitsEverySetInOrderWithTheRanksOfItsSubsets) {
  for (unsigned n = 0; n <= 12; ++n) {
    for (unsigned k = 0; k <= n; ++k) {
      auto sets = colex_sets(n, k);
      auto smaller = k > 0 ? colex_sets(n, k - 1) : std::vector<std::uint64_t>{};
      ASSERT_EQ(sets.size(), binomial(n, k));
      ColexWalk walk;
      for (std::uint64_t rank = 0; rank < sets.size(); ++rank) {
        if (rank == 0) {
          walk.begin(k, 0);
        } else {
          walk.next();
        }
        // Starting afresh at any rank lands on the same state.
        ColexWalk fresh;
        fresh.begin(k, rank);
        std::uint64_t set = 0;
        for (unsigned j = 0; j < k; ++j) {
          set |= std::uint64_t{1} << walk.elements[j];
          ASSERT_EQ(fresh.elements[j], walk.elements[j]);
          ASSERT_EQ(fresh.offset[j], walk.offset[j]);
        }
        ASSERT_EQ(set, sets[rank]) << n << " choose " << k << ", rank " << rank;
        for (unsigned j = 0; j < k; ++j) {
          std::uint64_t subset = set & ~(std::uint64_t{1} << walk.elements[j]);
          auto expected =
              std::lower_bound(smaller.begin(), smaller.end(), subset) - smaller.begin();
          ASSERT_EQ(static_cast<std::ptrdiff_t>(rank) + walk.offset[j], expected);
        }
      }
    }
  }
}

}  // namespace
}  // namespace quolvend
