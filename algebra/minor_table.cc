#include "algebra/minor_table.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "algebra/colex.h"
#include "kernels/dispatch.h"
#include "process/exits.h"
#include "process/parallel.h"
#include "process/progress.h"

namespace quolvend {
namespace {

// Column sets are split into a low part, taken from the first n - kHigh
// columns, and a high part, taken from the last kHigh. The 2^kHigh sets that
// share a low part form a group, stored as one vector: lane h holds the set
// whose high part has the bits of h. Level p holds the groups whose low part
// has p columns, in colex order of the low part (see colex.h); it holds sets
// of sizes p to p + kHigh.
//
// A set's determinant expands along the row its size is given in a row
// schedule: rows[k] for sets of k columns. The terms go in increasing column
// order, so the low columns come first. Removing a low column gives a group of
// level p - 1 with the same lanes, so the low terms are vector operations
// across all lanes; removing a high column gives another lane of the same
// group, so the high terms come last, lane by lane, in an order that has every
// lane's subsets ready before it.
//
// A term's sign is (-1)^j for the column's position j within its set. A low
// column's position is its place in the low part, the same in every lane. High
// column b comes after the p low columns and after the high columns below b
// that lane h holds, so its position is p + popcount(h & ((1 << b) - 1)): the
// sign differs from lane to lane, and is folded into that lane's factor.
//
// Worked example, n = 6: low columns {0, 1}, high columns {2, 3, 4, 5} (bits b
// = 0 .. 3 of a lane h). Level 0 is one group, low part {}; its lane h is the
// set of the high columns in h, 0 to 4 columns. Level 1 holds the groups {0}
// (rank 0) and {1} (rank 1). Level 2 holds {0, 1}, whose lane 15 is all six
// columns: the determinant of the whole matrix. Lane h of group {0, 1} is a
// set of k = 2 + popcount(h) columns, expanded along row rows[k] = 6 - k:
//   - column 0, position 0, sign +: the rest is lane h of group {1} (level 1);
//   - column 1, position 1, sign -: lane h of group {0} (level 1);
//   - each high column b in h, in increasing b, at position 2 + popcount(h &
//     ((1 << b) - 1)): lane h ^ (1 << b) of group {0, 1} itself, computed
//     before lane h because it is smaller.
// The first two are one vector multiply-add each over all 16 lanes; the last
// are scalar, lane by lane.
//
// kHigh = 4 makes a group 16 lanes: one AVX-512 register, two AVX2 or four
// NEON ones, so the low terms run at the machine's full vector width. The high
// terms are scalar and cost kHigh * 2^(kHigh - 1) = 32 multiply-adds a group
// against 16 p for the low terms; a larger kHigh would let them dominate and
// double the table for every step.
constexpr unsigned kHigh = 4;
constexpr unsigned kLanes = 1 << kHigh;
// Eight lanes of a group: each variant lowers it to its own registers (half
// an AVX-512 register, one AVX2, two SSE or NEON).
using Vec8 = float __attribute__((vector_size(32)));
static_assert(sizeof(Vec8) == 8 * sizeof(float));
// A group is kWidth vectors of eight lanes, kept as separate vectors so that
// each is one register.
constexpr unsigned kWidth = kLanes / 8;
struct Group {
  Vec8 part[kWidth];
  float lane(unsigned h) const { return part[h / 8][h % 8]; }
};
// Low parts index 64-bit tables; larger matrices never fit in memory anyway.
constexpr unsigned kMaxLow = kMaxColumns;

// Groups in the largest level of an n-column matrix.
std::uint64_t widest_level(unsigned n) { return binomial(n - kHigh, (n - kHigh) / 2); }

// Bytes of `levels` levels as wide as the widest; ends the process with
// "MALLOC error" if they could never fit.
std::uint64_t level_bytes(unsigned n, unsigned levels) {
  if (n - kHigh > kMaxLow) out_of_memory();
  return bytes_for(widest_level(n), std::uint64_t{levels} * sizeof(Group));
}

std::unique_ptr<Group[]> make_level(unsigned n) {
  return std::unique_ptr<Group[]>(new Group[widest_level(n)]);
}

// What one thread gets through: a group's lane-wide multiply-adds take about a
// nanosecond each.
constexpr Rate kGroupRate{1, 1};

// The work of computing level p, in units of lane-wide multiply-adds.
std::uint64_t level_work(unsigned n, unsigned p) { return binomial(n - kHigh, p) * (p + kHigh); }

// The row each size of set expands along: rows[k] for sets of k columns.
using Schedule = std::vector<const float*>;

// The 2 x 2 formula, or the single element or zero, for a set of at most two
// columns.
float base_determinant(const float* const* rows, const unsigned* columns, unsigned size) {
  if (size == 0) return 0.0f;
  const float* last = rows[1];
  if (size == 1) return last[columns[0]];
  const float* above = rows[2];
  return above[columns[0]] * last[columns[1]] - last[columns[0]] * above[columns[1]];
}

// Adds lane h's high terms to `value`: removing high column b leaves lane
// h ^ (1 << b), which is below h and so already in d.
[[gnu::always_inline]] inline float add_high_terms(float value, const float* d,
                                                   const float* factors, unsigned h) {
#pragma GCC unroll 4
  for (unsigned b = 0; b < kHigh; ++b) {
    if (h >> b & 1) value = value + d[h ^ (1u << b)] * factors[b];
  }
  return value;
}

// Computes the groups [first, last) of level p from level p - 1 (`prev`,
// unused when p is 0) into `next`. The same code serves every variant.
void compute_groups(const Matrix& m, const float* const* rows, unsigned p, const Group* prev,
                    Group* next, std::uint64_t first, std::uint64_t last) {
  const unsigned n = m.rows;
  const unsigned low = n - kHigh;

  // coefficient[s][c]: the factor of low column c, lane by lane, for a term of
  // sign (-1)^s; the sign is applied as a multiplication by -1, as in the
  // expansion. On the heap: the main thread computes parts too, and its
  // stack may be small.
  const auto coefficients =
      std::make_unique_for_overwrite<std::array<std::array<Group, kMaxLow>, 2>>();
  auto& coefficient = *coefficients;
  for (unsigned c = 0; c < low; ++c) {
    for (unsigned h = 0; h < kLanes; ++h) {
      coefficient[0][c].part[h / 8][h % 8] = rows[p + std::popcount(h)][c];
    }
    for (unsigned v = 0; v < kWidth; ++v)
      coefficient[1][c].part[v] = coefficient[0][c].part[v] * -1.0f;
  }
  // high[h][b]: the signed factor of high column b in lane h.
  float high[kLanes][kHigh] = {};
  for (unsigned h = 0; h < kLanes; ++h) {
    const float* row = rows[p + std::popcount(h)];
    for (unsigned b = 0; b < kHigh; ++b) {
      if ((h >> b & 1) == 0) continue;
      unsigned position = p + std::popcount(h & ((1u << b) - 1));
      float element = row[low + b];
      high[h][b] = position % 2 == 0 ? element : -1.0f * element;
    }
  }

  // The group at rank g reads, for each j, the group of level p - 1 whose low
  // part lacks its j-th element, at rank g + walk.offset[j].
  ColexWalk walk;
  walk.begin(p, first);
  const Group* factor[kMaxLow];
  for (std::uint64_t g = first; g < last; ++g) {
    if (g > first) walk.next();
    for (unsigned j = 0; j < walk.changed; ++j) factor[j] = &coefficient[j & 1][walk.elements[j]];

    Vec8 sum[kWidth] = {};
    const Group* base = prev + g;
    for (unsigned j = 0; j < p; ++j) {
      const Group& source = base[walk.offset[j]];
#pragma GCC unroll 4
      for (unsigned v = 0; v < kWidth; ++v) sum[v] = sum[v] + source.part[v] * factor[j]->part[v];
    }

    float d[kLanes];
    if (p > 2) {
#pragma GCC unroll 16
      for (unsigned h = 0; h < kLanes; ++h) d[h] = add_high_terms(sum[h / 8][h % 8], d, high[h], h);
    } else {
      // Sets of up to two columns take the 2 x 2 formula instead.
      for (unsigned h = 0; h < kLanes; ++h) {
        unsigned size = p + std::popcount(h);
        if (size > 2) {
          d[h] = add_high_terms(sum[h / 8][h % 8], d, high[h], h);
          continue;
        }
        unsigned columns[kHigh + 2];
        std::copy_n(walk.elements, p, columns);
        for (unsigned b = 0, k = p; b < kHigh; ++b) {
          if (h >> b & 1) columns[k++] = low + b;
        }
        d[h] = base_determinant(rows, columns, size);
      }
    }
    for (unsigned h = 0; h < kLanes; ++h) next[g].part[h / 8][h % 8] = d[h];
  }
}

// Computes level p from level p - 1 into `next`. A large level is cut into
// pieces, eight for each thread so that uneven pieces even out, each
// reporting its progress.
void compute_level(const Matrix& m, const float* const* rows, unsigned p, const Group* prev,
                   Group* next, const Compute& compute) {
  const unsigned n = m.rows;
  const std::uint64_t groups = binomial(n - kHigh, p);
  const std::size_t threads =
      split_parts(compute.threads, groups * (p + kHigh), kGroupRate, groups);
  const std::size_t parts = threads == 1 ? 1 : 8 * threads;
  parallel_for(
      parts,
      [&](std::size_t part) {
        std::uint64_t first = split_point(groups, parts, part);
        std::uint64_t last = split_point(groups, parts, part + 1);
        if (first < last)
          dispatch<compute_groups>(compute.instruction_set, m, rows, p, prev, next, first, last);
        progress_add((last - first) * (p + kHigh));
      },
      static_cast<unsigned>(threads));
}

// Zeros, for the one set a table without a row computes but no expansion
// reaches (all n columns): its terms are then exact zeros, and raise no
// floating-point flag that the expansion's own operations would not.
constexpr float kZeroRow[kMaxLow + kHigh] = {};

// The row each size of set expands along: the k-th row of m from the bottom,
// with row `left_out` skipped when it is below n (no set then has n columns).
// rows[0] is never read.
Schedule schedule(const Matrix& m, unsigned left_out) {
  const unsigned n = m.rows;
  Schedule rows(n + 1, kZeroRow);
  for (unsigned k = 1; k <= n; ++k) rows[k] = m.data[n - k];
  if (left_out < n) {
    for (unsigned k = n - left_out; k < n; ++k) rows[k] = m.data[n - 1 - k];
    rows[n] = kZeroRow;
  }
  return rows;
}

// The determinant of the 3 x 3 matrix m, expanded along row 0 into 2 x 2
// minors; too small for the table.
float expand_three(const Matrix& m) {
  const Schedule rows = schedule(m, 3);
  float sum = 0.0f;
  float sign = 1.0f;
  for (unsigned j = 0; j < 3; ++j) {
    unsigned columns[2];
    for (unsigned c = 0, k = 0; c < 3; ++c) {
      if (c != j) columns[k++] = c;
    }
    float t = sign * m.data[0][j];
    sum = sum + base_determinant(rows.data(), columns, 2) * t;
    sign = -sign;
  }
  return sum;
}

}  // namespace

float expand_determinant(const Matrix& m, const Compute& compute) {
  const unsigned n = m.rows;
  if (n == 3) return expand_three(m);
  const unsigned low = n - kHigh;
  MemoryCharge tables(level_bytes(n, 2));
  auto prev = make_level(n);
  auto next = make_level(n);
  const Schedule rows = schedule(m, n);
  for (unsigned p = 0; p <= low; ++p) {
    compute_level(m, rows.data(), p, prev.get(), next.get(), compute);
    std::swap(prev, next);
  }
  return prev[0].lane(kLanes - 1);
}

void require_minor_tables(unsigned n) {
  if (n > 3) require_memory(level_bytes(n, 4));
}

std::uint64_t minor_table_work(unsigned n, bool every_minor) {
  if (n <= 3 || n - kHigh > kMaxLow) return 0;  // nothing to show, or no table at all
  const unsigned low = n - kHigh;
  std::uint64_t whole = 0;
  for (unsigned p = 0; p <= low; ++p) whole += level_work(n, p);
  if (!every_minor) return whole;
  // As expand_minors goes: rows low .. n - 1 from scratch, then each of the
  // whole matrix's levels but the last, and the levels row low - 1 - p adds.
  std::uint64_t work = kHigh * whole;
  for (unsigned p = 0; p < low; ++p) {
    work += level_work(n, p);
    for (unsigned q = p + 1; q <= low; ++q) work += level_work(n, q);
  }
  return work;
}

void expand_minors(const Matrix& m, Matrix& minors, const Compute& compute) {
  const unsigned n = m.rows;
  if (n == 3) {
    // Every minor is 2 x 2.
    for (unsigned i = 0; i < 3; ++i) {
      const Schedule rows = schedule(m, i);
      for (unsigned j = 0; j < 3; ++j) {
        unsigned columns[2];
        for (unsigned c = 0, k = 0; c < 3; ++c) {
          if (c != j) columns[k++] = c;
        }
        minors.data[i][j] = base_determinant(rows.data(), columns, 2);
      }
    }
    return;
  }
  const unsigned low = n - kHigh;
  MemoryCharge tables(level_bytes(n, 4));
  auto whole_prev = make_level(n);
  auto whole_next = make_level(n);
  std::unique_ptr<Group[]> branch[2] = {make_level(n), make_level(n)};

  // Without row i, sets of up to n - 1 - i columns expand along the same rows
  // as in the whole matrix, so levels up to p = low - i - 1 (sets of at most
  // low - i - 1 + kHigh = n - 1 - i columns) are the whole matrix's. From
  // there on, row i's own levels are computed, up to the level holding every
  // set of n - 1 columns: level low - 1 for those without a low column, level
  // low for those without a high column.
  auto minors_without_row = [&](unsigned i, const Group* shared) {
    unsigned first = i < low ? low - i : 0;
    const Schedule rows = schedule(m, i);
    const Group* before_last = shared;
    const Group* level = shared;
    for (unsigned p = first; p <= low; ++p) {
      Group* out = branch[p & 1].get();
      compute_level(m, rows.data(), p, level, out, compute);
      if (p + 1 == low) before_last = out;
      level = out;
    }
    for (unsigned j = 0; j < n; ++j) {
      // Without low column j, the low part's rank is low - 1 - j.
      minors.data[i][j] = j < low ? before_last[low - 1 - j].lane(kLanes - 1)
                                  : level[0].lane((kLanes - 1) ^ (1u << (j - low)));
    }
  };

  for (unsigned i = low; i < n; ++i) minors_without_row(i, nullptr);
  const Schedule rows = schedule(m, n);
  for (unsigned p = 0; p < low; ++p) {
    compute_level(m, rows.data(), p, whole_prev.get(), whole_next.get(), compute);
    std::swap(whole_prev, whole_next);
    minors_without_row(low - 1 - p, whole_prev.get());
  }
}

}  // namespace quolvend
