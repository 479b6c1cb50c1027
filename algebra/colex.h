// Walking the k-element subsets of {0, 1, ...} in colex order, as the minor
// table lays out its levels.
//
// The colex rank of {e_0 < e_1 < ... < e_{k-1}} is the sum of binomial(e_i,
// i + 1): the number of k-sets whose largest differing element is smaller.
// Leaving out e_j gives a (k-1)-set in which every e_i past j has moved down
// one place, so its rank is
//     below_j + above_j,  below_j = sum over i < j of binomial(e_i, i + 1),
//                         above_j = sum over i > j of binomial(e_i, i).
// The walk keeps offset_j = below_j + above_j - rank for each j, the distance
// from a set's own rank to the rank of each of its subsets one smaller.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quolvend {

// Column sets are drawn from fewer columns than this.
inline constexpr unsigned kMaxColumns = 60;

struct Binomials {
  std::uint64_t value[kMaxColumns + 1][kMaxColumns + 2] = {};
  constexpr Binomials() {
    for (unsigned n = 0; n <= kMaxColumns; ++n) {
      value[n][0] = 1;
      for (unsigned k = 1; k <= n; ++k)
        value[n][k] = value[n - 1][k - 1] + (k < n ? value[n - 1][k] : 0);
    }
  }
};
inline constexpr Binomials kBinomials;

// binomial(n, k), n <= kMaxColumns; 0 when k > n.
inline std::uint64_t binomial(unsigned n, unsigned k) { return kBinomials.value[n][k]; }

struct ColexWalk {
  unsigned size = 0;
  std::uint64_t rank = 0;
  unsigned elements[kMaxColumns] = {};
  std::ptrdiff_t offset[kMaxColumns] = {};
  // elements[0 .. changed) and their offsets changed at the last step.
  unsigned changed = 0;

  // Positions the walk on the set of `k` elements with colex rank `start`.
  void begin(unsigned k, std::uint64_t start) {
    size = k;
    rank = start;
    std::uint64_t rest = start;
    for (unsigned i = k; i-- > 0;) {
      unsigned e = i;  // the smallest element position i can hold
      while (binomial(e + 1, i + 1) <= rest) ++e;
      elements[i] = e;
      rest -= binomial(e, i + 1);
    }
    if (k > 0) above[k - 1] = 0;
    refresh(k);
  }

  // Moves to the next set in colex order: only the lowest run of consecutive
  // elements changes (its top moves up by one, the rest drop to 0, 1, ...).
  // Every subset rank outside the run grows by one, as the rank does, so only
  // the run's offsets are computed again.
  void next() {
    unsigned run = 1;
    while (run < size && elements[run] == elements[0] + run) ++run;
    elements[run - 1] += 1;
    for (unsigned j = 0; j + 1 < run; ++j) elements[j] = j;
    ++rank;
    refresh(run);
  }

 private:
  std::uint64_t above[kMaxColumns] = {};  // above_j, as in the derivation

  // Recomputes offsets [0, count); above[count - 1] is already right.
  void refresh(unsigned count) {
    changed = count;
    if (count == 0) return;
    for (unsigned j = count - 1; j-- > 0;)
      above[j] = above[j + 1] + binomial(elements[j + 1], j + 1);
    std::uint64_t below = 0;
    for (unsigned j = 0; j < count; ++j) {
      offset[j] = static_cast<std::ptrdiff_t>(below + above[j] - rank);
      below += binomial(elements[j], j + 1);
    }
  }
};

}  // namespace quolvend
