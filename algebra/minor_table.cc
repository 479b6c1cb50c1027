#include "algebra/minor_table.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace quolvend {
namespace {

// Column sets are split into a low part, taken from the first n - 3 columns,
// and a high part, taken from the last three. The eight sets that share a low
// part form a group, stored as one vector: lane h holds the set whose high part
// has the bits of h. Level p holds the groups whose low part has p columns,
// ordered by the colex rank of the low part (the rank of {e0 < e1 < ...} is the
// sum of binomial(ei, i + 1)); it holds sets of sizes p to p + 3.
//
// A set's determinant expands along the row its size is given in a row
// schedule: rows[k] for sets of k columns. The terms go in increasing column
// order, so the low columns come first. Removing a low column gives a group of
// level p - 1 with the same lanes, so the low terms are vector operations
// across all eight lanes; removing a high column gives another lane of the
// same group, so the high terms come last, lane by lane.
using Lanes = float __attribute__((vector_size(32)));
constexpr unsigned kHigh = 3;
constexpr unsigned kLanes = 1 << kHigh;
// Low parts are bit masks in 64 bits; larger matrices never fit in memory.
constexpr unsigned kMaxLow = 60;

struct Binomials {
  std::uint64_t value[kMaxLow + 1][kMaxLow + 2] = {};
  constexpr Binomials() {
    for (unsigned n = 0; n <= kMaxLow; ++n) {
      value[n][0] = 1;
      for (unsigned k = 1; k <= n; ++k) value[n][k] = value[n - 1][k - 1] + (k < n ? value[n - 1][k] : 0);
    }
  }
};
constexpr Binomials kBinomials;

std::uint64_t binomial(unsigned n, unsigned k) { return kBinomials.value[n][k]; }

// Groups in the largest level of a matrix with `low` low columns.
std::uint64_t widest_level(unsigned low) { return binomial(low, low / 2); }

// Ends the process with "MALLOC error" unless `levels` of the widest level fit.
void require_levels(unsigned n, unsigned levels) {
  if (n - kHigh > kMaxLow) out_of_memory();
  std::uint64_t bytes;
  if (__builtin_mul_overflow(widest_level(n - kHigh), std::uint64_t{levels} * sizeof(Lanes), &bytes)) {
    out_of_memory();
  }
  require_memory(bytes);
}

std::unique_ptr<Lanes[]> make_level(unsigned n) {
  return std::unique_ptr<Lanes[]>(new Lanes[widest_level(n - kHigh)]);
}

// The 2 x 2 formula, or the single element or zero, for a set of at most two
// columns.
float base_determinant(const Matrix& m, const std::uint32_t* rows, const unsigned* columns,
                       unsigned size) {
  if (size == 0) return 0.0f;
  const float* last = m.data[rows[1]];
  if (size == 1) return last[columns[0]];
  const float* above = m.data[rows[2]];
  return above[columns[0]] * last[columns[1]] - last[columns[0]] * above[columns[1]];
}

// Computes level p from level p - 1 (`prev`, unused when p is 0) into `next`.
__attribute__((target_clones("avx2", "default")))
void compute_level(const Matrix& m, const std::uint32_t* rows, unsigned p, const Lanes* prev,
                   Lanes* next) {
  const unsigned n = m.rows;
  const unsigned low = n - kHigh;

  // coefficient[s][c]: the factor of low column c, lane by lane, for a term of
  // sign (-1)^s; the sign is applied as a multiplication by -1, as in the
  // expansion.
  std::array<std::array<Lanes, kMaxLow>, 2> coefficient;
  for (unsigned c = 0; c < low; ++c) {
    for (unsigned h = 0; h < kLanes; ++h) {
      coefficient[0][c][h] = m.data[rows[p + std::popcount(h)]][c];
    }
    coefficient[1][c] = coefficient[0][c] * -1.0f;
  }
  // high[h][b]: the signed factor of high column b in lane h.
  float high[kLanes][kHigh] = {};
  for (unsigned h = 0; h < kLanes; ++h) {
    const float* row = m.data[rows[p + std::popcount(h)]];
    for (unsigned b = 0; b < kHigh; ++b) {
      if ((h >> b & 1) == 0) continue;
      unsigned position = p + std::popcount(h & ((1u << b) - 1));
      float element = row[low + b];
      high[h][b] = position % 2 == 0 ? element : -1.0f * element;
    }
  }

  std::uint64_t groups = binomial(low, p);
  std::uint64_t mask = (std::uint64_t{1} << p) - 1;
  unsigned elements[kMaxLow + kHigh];
  std::uint64_t source[kMaxLow];
  for (std::uint64_t g = 0; g < groups; ++g) {
    unsigned count = 0;
    for (std::uint64_t x = mask; x != 0; x &= x - 1) elements[count++] = std::countr_zero(x);
    // The rank of the low part without element j, in level p - 1.
    std::uint64_t rank = 0;
    for (unsigned j = p; j-- > 0;) {
      source[j] = rank;
      rank += binomial(elements[j], j);
    }
    rank = 0;
    for (unsigned j = 0; j < p; ++j) {
      source[j] += rank;
      rank += binomial(elements[j], j + 1);
    }

    Lanes sum = {};
    for (unsigned j = 0; j < p; ++j) {
      sum = sum + prev[source[j]] * coefficient[j & 1][elements[j]];
    }

    float low_sum[kLanes];
    float d[kLanes];
    std::memcpy(low_sum, &sum, sizeof sum);
    if (p >= 3) {
      // No set here is small enough for the 2 x 2 formula.
      d[0] = low_sum[0];
      d[1] = low_sum[1] + d[0] * high[1][0];
      d[2] = low_sum[2] + d[0] * high[2][1];
      d[3] = (low_sum[3] + d[2] * high[3][0]) + d[1] * high[3][1];
      d[4] = low_sum[4] + d[0] * high[4][2];
      d[5] = (low_sum[5] + d[4] * high[5][0]) + d[1] * high[5][2];
      d[6] = (low_sum[6] + d[4] * high[6][1]) + d[2] * high[6][2];
      d[7] = ((low_sum[7] + d[6] * high[7][0]) + d[5] * high[7][1]) + d[3] * high[7][2];
    } else {
      for (unsigned h = 0; h < kLanes; ++h) {
        unsigned size = p + std::popcount(h);
        if (size <= 2) {
          for (unsigned b = 0, k = p; b < kHigh; ++b) {
            if (h >> b & 1) elements[k++] = low + b;
          }
          d[h] = base_determinant(m, rows, elements, size);
          continue;
        }
        float value = low_sum[h];
        for (unsigned b = 0; b < kHigh; ++b) {
          if (h >> b & 1) value = value + d[h ^ (1u << b)] * high[h][b];
        }
        d[h] = value;
      }
    }
    std::memcpy(&next[g], d, sizeof d);

    if (g + 1 < groups) {
      // The next mask with p bits, in increasing order (which is colex order).
      std::uint64_t t = mask | (mask - 1);
      mask = (t + 1) | (((~t & (t + 1)) - 1) >> (std::countr_zero(mask) + 1));
    }
  }
}

// The row each size of set expands along: the k-th row from the bottom, with
// row `left_out` skipped when it is below n (no set then has n columns).
std::vector<std::uint32_t> schedule(unsigned n, unsigned left_out) {
  std::vector<std::uint32_t> rows(n + 1, 0);
  for (unsigned k = 1; k <= n; ++k) rows[k] = n - k;
  if (left_out < n) {
    for (unsigned k = n - left_out; k < n; ++k) rows[k] = n - 1 - k;
    rows[n] = 0;
  }
  return rows;
}

}  // namespace

float expand_determinant(const Matrix& m) {
  const unsigned n = m.rows;
  const unsigned low = n - kHigh;
  require_levels(n, 2);
  auto prev = make_level(n);
  auto next = make_level(n);
  auto rows = schedule(n, n);
  for (unsigned p = 0; p <= low; ++p) {
    compute_level(m, rows.data(), p, prev.get(), next.get());
    std::swap(prev, next);
  }
  return prev[0][kLanes - 1];
}

void expand_minors(const Matrix& m, Matrix& minors) {
  const unsigned n = m.rows;
  const unsigned low = n - kHigh;
  require_levels(n, 4);
  auto whole_prev = make_level(n);
  auto whole_next = make_level(n);
  std::unique_ptr<Lanes[]> branch[2] = {make_level(n), make_level(n)};

  // Without row i, sets of up to n - 1 - i columns expand along the same rows
  // as in the whole matrix, so levels up to p = low - 1 - i are the whole
  // matrix's. From there on, row i's own levels are computed, up to the level
  // holding every set of n - 1 columns: level low - 1 for those without a low
  // column, level low for those without a high column.
  auto minors_without_row = [&](unsigned i, const Lanes* shared) {
    unsigned first = i < low ? low - i : 0;
    auto rows = schedule(n, i);
    const Lanes* before_last = shared;
    const Lanes* level = shared;
    for (unsigned p = first; p <= low; ++p) {
      Lanes* out = branch[p & 1].get();
      compute_level(m, rows.data(), p, level, out);
      if (p + 1 == low) before_last = out;
      level = out;
    }
    for (unsigned j = 0; j < n; ++j) {
      // Without low column j, the low part's rank is low - 1 - j.
      minors.data[i][j] = j < low ? before_last[low - 1 - j][kLanes - 1]
                                  : level[0][(kLanes - 1) ^ (1u << (j - low))];
    }
  };

  for (unsigned i = low; i < n; ++i) minors_without_row(i, nullptr);
  auto rows = schedule(n, n);
  for (unsigned p = 0; p < low; ++p) {
    compute_level(m, rows.data(), p, whole_prev.get(), whole_next.get());
    std::swap(whole_prev, whole_next);
    minors_without_row(low - 1 - p, whole_prev.get());
  }
}

}  // namespace quolvend
