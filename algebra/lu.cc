#include "algebra/lu.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "algebra/engine.h"
#include "kernels/dispatch.h"
#include "process/exits.h"
#include "process/memory.h"
#include "process/parallel.h"
#include "process/progress.h"

namespace quolvend {
namespace {

// --- Factorisation --------------------------------------------------------------
//
// Right-looking and blocked: a panel of kPanel columns is factorised, then the
// columns to its right are brought up to date, its rows of U by a triangular
// solve and the rows below by the engine (A22 -= L21 U12). While the other
// threads update those columns, one thread brings the next panel's columns up
// to date and factorises it (look-ahead), so that the panels, whose pivot
// searches cannot be shared out, overlap the bulk of the work.
//
// A panel is factorised in a column-major copy, where its pivot searches and
// column updates run along contiguous memory, and swaps rows only within its
// own columns, recording its pivots. The swaps reach the columns to its right
// just before their update, and the columns to its left at the end. Rows are
// moved, never computed, so every element sees the same operations as if
// whole rows were swapped at once.

// Columns factorised together before the trailing update.
constexpr std::size_t kPanel = 128;
// Columns a panel splits down to before they are factorised one by one.
constexpr std::size_t kLeaf = 8;
// Columns of the trailing update one task takes at least, and the columns a
// task's share is rounded to (a multiple of every tile's).
constexpr std::size_t kChunkCols = 256;
constexpr std::size_t kChunkAlign = 64;

// The columns of each task of a trailing update of `columns` over `parts`
// threads: two tasks a thread, so that uneven ones even out, on one thread one
// task. Each packs the panel's rows of L afresh, so no narrower than needed.
std::size_t chunk_width(std::size_t columns, std::size_t parts) {
  const std::size_t tasks = parts == 1 ? 1 : 2 * parts;
  const std::size_t share = (columns + tasks - 1) / tasks;
  return std::max(kChunkCols, (share + kChunkAlign - 1) / kChunkAlign * kChunkAlign);
}

// P A = L U in place: a holds U on and above the diagonal, L (unit diagonal
// implied) below it; row i of P A is row perm[i] of A.
struct Factors {
  std::size_t n = 0;
  MemoryCharge charge;  // the working copy
  std::unique_ptr<double[], FreeDeleter> a;
  MemoryCharge panel_charge;
  std::unique_ptr<double[]> panel;   // the column-major copy of the panel being factorised
  std::vector<std::uint32_t> pivot;  // the row swapped with row k at step k
  std::vector<std::uint32_t> perm;
  bool odd_swaps = false;
  bool finite_l = true;  // every multiplier below the diagonal is finite
  Compute compute;       // whose builds run, and in which tile
  double* row(std::size_t i) const { return a.get() + i * n; }
};

// Swaps rows k and pivot[k], for k in [k0, k0 + kb) ascending, within columns
// [c0, c1).
void swap_rows(Factors& f, std::size_t k0, std::size_t kb, std::size_t c0, std::size_t c1) {
  for (std::size_t k = k0; k < k0 + kb; ++k) {
    if (f.pivot[k] != k) std::swap_ranges(f.row(k) + c0, f.row(k) + c1, f.row(f.pivot[k]) + c0);
  }
}

// Rows [k0, k0 + kb) of U in columns [c0, c1), U12 = L11^-1 A12, with each
// element's terms for k ascending: a plain triangle.
void solve_u_rows(const Factors& f, std::size_t k0, std::size_t kb, std::size_t c0,
                  std::size_t c1) {
  const std::size_t end = k0 + kb;
  for (std::size_t k = k0; k < end; ++k) {
    const double* pivot_row = f.row(k);
    for (std::size_t i = k + 1; i < end; ++i) {
      double* r = f.row(i);
      const double l = r[k];
      for (std::size_t j = c0; j < c1; ++j) r[j] = r[j] - l * pivot_row[j];
    }
  }
}

// Rows [r0, r1) of columns [c0, c1) -= L (rows, steps [k0, k0 + kb)) x U
// (steps, columns), on this thread.
void update_rows(Factors& f, std::size_t k0, std::size_t kb, std::size_t r0, std::size_t r1,
                 std::size_t c0, std::size_t c1, EngineScratch<double>& scratch) {
  const auto n = static_cast<std::ptrdiff_t>(f.n);
  subtract_product(r1 - r0, c1 - c0, kb, {f.row(r0) + k0, n, 1}, {f.row(k0) + c0, n},
                   {f.row(r0) + c0, f.n}, scratch, f.compute);
}

// The same rows of U, the triangle halved until it is small: the upper half,
// then the lower half's terms from the upper half by the engine, then the
// lower half.
void solve_u(Factors& f, std::size_t k0, std::size_t kb, std::size_t c0, std::size_t c1,
             EngineScratch<double>& scratch) {
  if (kb <= 2 * kLeaf) {
    dispatch<solve_u_rows>(f.compute.instruction_set, f, k0, kb, c0, c1);
    return;
  }
  const std::size_t h = kb / 2;
  solve_u(f, k0, h, c0, c1, scratch);
  update_rows(f, k0, h, k0 + h, k0 + kb, c0, c1, scratch);
  solve_u(f, k0 + h, kb - h, c0, c1, scratch);
}

// Brings columns [c0, c1) up to date with the panel of steps [k0, k0 + kb):
// its swaps, its rows of U, and the rows below.
void update_columns(Factors& f, std::size_t k0, std::size_t kb, std::size_t c0, std::size_t c1,
                    EngineScratch<double>& scratch) {
  swap_rows(f, k0, kb, c0, c1);
  solve_u(f, k0, kb, c0, c1, scratch);
  update_rows(f, k0, kb, k0 + kb, f.n, c0, c1, scratch);
}

// --- The panel, column-major ----------------------------------------------------

// The panel of steps [k0, k0 + kb): element (i, j) of rows [k0, n) and columns
// [k0, k0 + kb) is data[(i - k0) + (j - k0) * ld].
struct Panel {
  Factors& f;
  std::size_t k0;
  std::size_t kb;
  std::size_t rows;  // n - k0
  std::size_t ld;
  double* data;
  double* col(std::size_t j) const { return data + j * ld; }
};

// The distance between the columns of a panel's column-major copy of `rows`
// rows: rounded up to 8 doubles, so that every column starts on the same
// place in a 64-byte line as the first, and the vectors of its updates split
// no more lines than the first column's do.
std::size_t panel_ld(std::size_t rows) { return (rows + 7) / 8 * 8; }

// Column j's pivot among rows [j, rows): a NaN before any number (the first
// NaN), then the largest magnitude, the first such row on a tie.
std::size_t find_pivot(const double* column, std::size_t first, std::size_t last) {
  for (std::size_t i = first; i < last; ++i) {
    if (std::isnan(column[i])) return i;
  }
  double most = 0.0;
  for (std::size_t i = first; i < last; ++i) most = std::max(most, std::fabs(column[i]));
  for (std::size_t i = first; i < last; ++i) {
    if (std::fabs(column[i]) == most) return i;
  }
  return first;
}

// Factorises the panel's columns [j0, j0 + w) (local indices) one by one.
// Returns false at a pivot column of exact zeros.
bool factor_leaf(const Panel& p, std::size_t j0, std::size_t w) {
  Factors& f = p.f;
  for (std::size_t k = j0; k < j0 + w; ++k) {
    double* lk = p.col(k);
    const std::size_t q = find_pivot(lk, k, p.rows);
    if (lk[q] == 0.0) return false;
    f.pivot[p.k0 + k] = static_cast<std::uint32_t>(p.k0 + q);
    if (q != k) {
      for (std::size_t c = 0; c < p.kb; ++c) std::swap(p.col(c)[k], p.col(c)[q]);
      std::swap(f.perm[p.k0 + k], f.perm[p.k0 + q]);
      f.odd_swaps = !f.odd_swaps;
    }
    const double pivot = lk[k];
    for (std::size_t i = k + 1; i < p.rows; ++i) lk[i] = lk[i] / pivot;
    for (std::size_t j = k + 1; j < j0 + w; ++j) {
      double* cj = p.col(j);
      const double u = cj[k];
      for (std::size_t i = k + 1; i < p.rows; ++i) cj[i] = cj[i] - lk[i] * u;
    }
  }
  return true;
}

// Rows [j0, j0 + h) of columns [j0 + h, j0 + w) of the panel: the rows of U,
// each element's terms for k ascending.
void solve_panel_u(const Panel& p, std::size_t j0, std::size_t h, std::size_t w) {
  for (std::size_t j = j0 + h; j < j0 + w; ++j) {
    double* cj = p.col(j);
    for (std::size_t k = j0; k < j0 + h; ++k) {
      const double* lk = p.col(k);
      const double u = cj[k];
      for (std::size_t i = k + 1; i < j0 + h; ++i) cj[i] = cj[i] - lk[i] * u;
    }
  }
}

// Factorises the panel's columns [j0, j0 + w) recursively: the left half;
// then the right half's rows of U and, by the engine, its rows below; then
// the right half. Column-major, the panel is the row-major layout of its
// transpose, so the engine computes the transposed update: each element's
// terms are the same products (l u = u l exactly), in the same order.
bool factor_columns(const Panel& p, std::size_t j0, std::size_t w, EngineScratch<double>& scratch) {
  if (w <= kLeaf) return dispatch<factor_leaf>(p.f.compute.instruction_set, p, j0, w);
  const std::size_t h = std::max(kLeaf, w / 2 / kLeaf * kLeaf), mid = j0 + h;
  if (!factor_columns(p, j0, h, scratch)) return false;
  dispatch<solve_panel_u>(p.f.compute.instruction_set, p, j0, h, w);
  const auto ld = static_cast<std::ptrdiff_t>(p.ld);
  subtract_product(w - h, p.rows - mid, h, {p.col(mid) + j0, ld, 1}, {p.col(j0) + mid, ld},
                   {p.col(mid) + mid, p.ld}, scratch, p.f.compute);
  return factor_columns(p, mid, w - h, scratch);
}

// Factorises the panel of steps [k0, k0 + kb) in its column-major copy.
bool factor_panel(Factors& f, std::size_t k0, std::size_t kb, EngineScratch<double>& scratch) {
  const std::size_t rows = f.n - k0;
  Panel p{f, k0, kb, rows, panel_ld(rows), f.panel.get()};
  for (std::size_t i = 0; i < rows; ++i) {
    const double* r = f.row(k0 + i) + k0;
    for (std::size_t j = 0; j < kb; ++j) p.col(j)[i] = r[j];
  }
  const bool ok = factor_columns(p, 0, kb, scratch);
  for (std::size_t i = 0; i < rows; ++i) {
    double* r = f.row(k0 + i) + k0;
    for (std::size_t j = 0; j < kb; ++j) r[j] = p.col(j)[i];
  }
  return ok;
}

// The progress units of the panel of kb columns from k0 and its trailing
// update: about their multiply-adds.
std::uint64_t panel_work(std::size_t n, std::size_t k0, std::size_t kb) {
  return std::uint64_t{n - k0} * (n - k0) * kb;
}

// Returns the factors, or nothing when a pivot column is all exact zeros (m is
// singular in the arithmetic).
std::optional<Factors> factorise(const Matrix& m, bool whole_l, const Compute& compute) {
  Factors f;
  f.compute = compute;
  const std::size_t n = f.n = m.rows;
  f.charge = MemoryCharge(large_bytes(bytes_for(std::uint64_t{n} * n, sizeof(double))));
  f.panel_charge = MemoryCharge(bytes_for(panel_ld(n), kPanel * sizeof(double)));
  // One set of packing buffers for each thread that can share the widest update.
  std::size_t parts = split_parts(compute.threads, std::uint64_t{n} * n * kPanel,
                                  kDoubleProductRate, std::max<std::size_t>(1, n / kChunkCols));
  MemoryCharge buffers = charge_parts(parts, engine_scratch_bytes(sizeof(double), compute));
  std::vector<EngineScratch<double>> scratch;
  for (std::size_t part = 0; part < parts; ++part) scratch.emplace_back(compute);
  f.a.reset(static_cast<double*>(allocate_large(n * n * sizeof(double))));
  if (!f.a) out_of_memory();
  f.panel.reset(new double[panel_ld(n) * std::min(kPanel, n)]);
  // Widened on every thread: the first writes of fresh pages are much of it.
  const float* source = m.storage.get();
  parallel_for(parts, [&](std::size_t part) {
    const std::size_t first = split_point(n * n, parts, part);
    const std::size_t last = split_point(n * n, parts, part + 1);
    for (std::size_t i = first; i < last; ++i) f.a[i] = source[i];
  });
  f.pivot.resize(n);
  f.perm.resize(n);
  for (std::size_t i = 0; i < n; ++i) f.perm[i] = static_cast<std::uint32_t>(i);

  bool ok = factor_panel(f, 0, std::min(kPanel, n), scratch[0]);
  for (std::size_t k0 = 0; ok && k0 < n;) {
    const std::size_t kb = std::min(kPanel, n - k0), next = k0 + kb;
    const std::size_t next_width = std::min(kPanel, n - next), beyond = next + next_width;
    if (next < n) {
      // Task 0 brings the next panel up to date and factorises it; the others
      // update the columns past it, a chunk each.
      const std::size_t width = chunk_width(n - beyond, parts);
      const std::size_t chunks = (n - beyond + width - 1) / width;
      std::atomic<bool> next_ok{true};
      parallel_for(
          1 + chunks,
          [&](std::size_t task) {
            EngineScratch<double>& own = scratch[worker_index()];
            if (task == 0) {
              update_columns(f, k0, kb, next, beyond, own);
              next_ok = factor_panel(f, next, next_width, own);
              return;
            }
            const std::size_t c0 = beyond + (task - 1) * width;
            update_columns(f, k0, kb, c0, std::min(n, c0 + width), own);
          },
          static_cast<unsigned>(parts));
      ok = next_ok;
    }
    progress_add(panel_work(n, k0, kb));
    k0 = next;
  }
  f.panel.reset();
  f.panel_charge = MemoryCharge();
  if (!ok) return std::nullopt;
  if (!whole_l) return f;
  // Each panel's swaps reach the columns to its left, panel by panel, a chunk
  // of columns on each thread.
  parallel_for((n + kChunkCols - 1) / kChunkCols,
               [&](std::size_t chunk) {
                 const std::size_t c0 = chunk * kChunkCols, c1 = std::min(n, c0 + kChunkCols);
                 for (std::size_t k0 = kPanel; k0 < n; k0 += kPanel) {
                   if (k0 > c0) swap_rows(f, k0, std::min(kPanel, n - k0), c0, std::min(c1, k0));
                 }
               },
               static_cast<unsigned>(parts));
  for (std::size_t i = 0; i < n && f.finite_l; ++i) {
    for (std::size_t j = 0; j < i; ++j) f.finite_l &= std::isfinite(f.row(i)[j]);
  }
  return f;
}

// --- Solving for the inverse ------------------------------------------------------
//
// Each thread takes kSolveColumns columns of the identity at a time and solves
// L U W = those columns of P for them, rows halved recursively: the terms
// between halves by the engine, triangles of kTriangleRows rows plainly.

constexpr std::size_t kSolveColumns = 256;
constexpr std::size_t kTriangleRows = 16;

// The progress units of solving for `width` columns from `first`: about their
// multiply-adds when every multiplier is finite. The same units count
// otherwise, when the forward solve takes longer, so that the count still
// reaches the estimate when the work ends.
std::uint64_t solve_work(std::size_t n, std::size_t first, std::size_t width) {
  return std::uint64_t{width} * ((n - first) * (n - first) + std::uint64_t{n} * n) / 2;
}

// y(i) -= l(i, j) y(j) for j in [i0, i), for each row i in [i0, i1); then
// with `back`, x(i) -= u(i, j) x(j) for j from i1 - 1 down to i + 1 and x(i) /
// u(i, i), rows from i1 - 1 down to i0. Rows of w are `width` long.
void solve_triangle(const Factors& f, std::size_t i0, std::size_t i1, bool back, double* w,
                    std::size_t width) {
  if (!back) {
    for (std::size_t i = i0; i < i1; ++i) {
      double* y = w + i * width;
      for (std::size_t j = i0; j < i; ++j) {
        const double l = f.row(i)[j];
        const double* yj = w + j * width;
        for (std::size_t c = 0; c < width; ++c) y[c] = y[c] - l * yj[c];
      }
    }
    return;
  }
  for (std::size_t i = i1; i-- > i0;) {
    double* x = w + i * width;
    const double* u = f.row(i);
    for (std::size_t j = i1; j-- > i + 1;) {
      const double* xj = w + j * width;
      for (std::size_t c = 0; c < width; ++c) x[c] = x[c] - u[j] * xj[c];
    }
    for (std::size_t c = 0; c < width; ++c) x[c] = x[c] / u[i];
  }
}

// Forward over rows [i0, i1), whose terms from rows above i0 are in: halves,
// the lower taking the upper's terms from the engine, down to small
// triangles. Each y(i) still takes its terms for j ascending.
void solve_forward(const Factors& f, std::size_t i0, std::size_t i1, double* w, std::size_t width,
                   EngineScratch<double>& scratch) {
  if (i1 - i0 <= kTriangleRows) {
    dispatch<solve_triangle>(f.compute.instruction_set, f, i0, i1, false, w, width);
    return;
  }
  const std::size_t mid = i0 + (i1 - i0) / 2;
  solve_forward(f, i0, mid, w, width, scratch);
  subtract_product(i1 - mid, width, mid - i0,
                   {f.row(mid) + i0, static_cast<std::ptrdiff_t>(f.n), 1},
                   {w + i0 * width, static_cast<std::ptrdiff_t>(width)}, {w + mid * width, width},
                   scratch, f.compute);
  solve_forward(f, mid, i1, w, width, scratch);
}

// Back over rows [i0, i1), whose terms from rows below i1 are in: the lower
// half, then the upper half's terms from it by the engine (j descending from
// i1 - 1), then the upper half.
void solve_back(const Factors& f, std::size_t i0, std::size_t i1, double* w, std::size_t width,
                EngineScratch<double>& scratch) {
  if (i1 - i0 <= kTriangleRows) {
    dispatch<solve_triangle>(f.compute.instruction_set, f, i0, i1, true, w, width);
    return;
  }
  const std::size_t mid = i0 + (i1 - i0) / 2;
  solve_back(f, mid, i1, w, width, scratch);
  subtract_product(mid - i0, width, i1 - mid,
                   {f.row(i0) + (i1 - 1), static_cast<std::ptrdiff_t>(f.n), -1},
                   {w + (i1 - 1) * width, -static_cast<std::ptrdiff_t>(width)},
                   {w + i0 * width, width}, scratch, f.compute);
  solve_back(f, i0, mid, w, width, scratch);
}

// Solves L U W = the columns of P whose 1 lies in rows [first, first +
// width), in place in w (n x width); column t of w is then column perm[first
// + t] of the inverse.
//
// Where every multiplier is finite, the forward solve starts at row `first`
// and leaves out every term y(i) -= l(i, j) y(j) with j < first, a third of
// the work, without changing a bit: such a y(j) is +0 (the columns are +0
// above row `first`, and +0 - l * (+0) stays +0 for finite l, whatever the
// sign of the product), and for each row those terms come first, while y(i)
// is still its starting +0 or 1, from which subtracting a zero of either sign
// changes nothing. An infinite or NaN multiplier would make l * 0 a NaN.
void solve_columns(const Factors& f, std::size_t first, std::size_t width, double* w,
                   EngineScratch<double>& scratch) {
  const std::size_t n = f.n;
  std::fill_n(w, n * width, 0.0);
  for (std::size_t t = 0; t < width; ++t) w[(first + t) * width + t] = 1.0;
  solve_forward(f, f.finite_l ? first : 0, n, w, width, scratch);
  solve_back(f, 0, n, w, width, scratch);
}

}  // namespace

std::uint64_t lu_work(unsigned n, bool inverse) {
  std::uint64_t work = 0;
  for (std::size_t k0 = 0; k0 < n; k0 += kPanel)
    work += panel_work(n, k0, std::min(kPanel, n - k0));
  if (inverse) {
    for (std::size_t first = 0; first < n; first += kSolveColumns) {
      work += solve_work(n, first, std::min(kSolveColumns, n - first));
    }
  }
  return work;
}

namespace {

// A NaN anywhere makes every pivot from its column on NaN, and so the
// determinant and the whole inverse; a pivot column of exact zeros before it
// would stop the factorisation short of it, so it is looked for first.
bool holds_nan(const Matrix& m) {
  const float* element = m.storage.get();
  return std::any_of(element, element + matrix_size(m), [](float x) { return std::isnan(x); });
}

}  // namespace

float lu_determinant(const Matrix& m, const Compute& compute) {
  return lu_scaled_determinant(m, 0, compute).value_or(0.0f);
}

std::optional<float> lu_scaled_determinant(const Matrix& m, int scale, const Compute& compute) {
  if (holds_nan(m)) {
    progress_add(lu_work(m.rows, false));
    return std::numeric_limits<float>::quiet_NaN();
  }
  std::optional<Factors> factors = factorise(m, /*whole_l=*/false, compute);
  if (!factors) return std::nullopt;
  const Factors& f = *factors;
  // The product of the pivots as mantissa x 2^exponent, the mantissa kept in
  // [0.5, 1) after every factor.
  double mantissa = f.odd_swaps ? -1.0 : 1.0;
  long exponent = scale;
  for (std::size_t k = 0; k < f.n; ++k) {
    int e = 0;
    mantissa *= std::frexp(f.row(k)[k], &e);
    exponent += e;
    mantissa = std::frexp(mantissa, &e);
    exponent += e;
  }
  // Past these a float is 0 or infinite anyway; ldexp then stays in range.
  exponent = std::clamp(exponent, -2000L, 2000L);
  return static_cast<float>(std::ldexp(mantissa, static_cast<int>(exponent)));
}

bool lu_invert(const Matrix& m, Matrix& inverse, const Compute& compute) {
  if (holds_nan(m)) {
    std::fill_n(inverse.storage.get(), matrix_size(inverse),
                std::numeric_limits<float>::quiet_NaN());
    progress_add(lu_work(m.rows, true));
    return true;
  }
  std::optional<Factors> factors = factorise(m, /*whole_l=*/true, compute);
  if (!factors) return false;
  const Factors& f = *factors;
  const std::size_t n = f.n;
  const std::size_t blocks = (n + kSolveColumns - 1) / kSolveColumns;
  std::size_t parts =
      split_parts(compute.threads, std::uint64_t{n} * n * n, kDoubleProductRate, blocks);
  const std::size_t width_most = std::min(kSolveColumns, n);
  MemoryCharge buffers = charge_parts(
      parts,
      bytes_for(n, width_most * sizeof(double), engine_scratch_bytes(sizeof(double), compute)));
  std::vector<EngineScratch<double>> scratch;
  for (std::size_t part = 0; part < parts; ++part) scratch.emplace_back(compute);
  std::vector<std::unique_ptr<double[]>> w(parts);
  for (auto& block : w) block.reset(new double[n * width_most]);
  parallel_for(
      blocks,
      [&](std::size_t b) {
        const unsigned worker = worker_index();
        const std::size_t first = b * kSolveColumns, width = std::min(kSolveColumns, n - first);
        double* solved = w[worker].get();
        solve_columns(f, first, width, solved, scratch[worker]);
        for (std::size_t i = 0; i < n; ++i) {
          float* out = inverse.data[i];
          const double* xi = solved + i * width;
          for (std::size_t t = 0; t < width; ++t)
            out[f.perm[first + t]] = static_cast<float>(xi[t]);
        }
        progress_add(solve_work(n, first, width));
      },
      static_cast<unsigned>(parts));
  return true;
}

}  // namespace quolvend
