#include "algebra/lu.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <vector>

#include "algebra/instruction_set.h"
#include "algebra/tiles.h"
#include "process/exits.h"
#include "process/memory.h"
#include "process/parallel.h"
#include "process/progress.h"

namespace quolvend {
namespace {

// --- The kernel: c -= a x b in double, k in a given order --------------------
//
// c(i, j) = c(i, j) - a(i, k) * b(k, j) for k = 0, 1, ... depth - 1, each
// product and each difference rounded to double, where the k-th term reads
// a.data[i * a.stride + k * a.step] and b.data[k * b.stride + j]: a negative
// step or stride walks k downwards through memory. The result is computed in tiles of kRows x kCols
// held in registers while a run of kDepth values of k streams past from packed
// copies of a and b; a run only stores a partial result and loads it again, so
// every element sees its terms in the same order however the work is cut.
constexpr std::size_t kRows = 4;
constexpr std::size_t kCols = 16;
constexpr std::size_t kDepth = 256;
constexpr std::size_t kBlockRows = 24 * kRows;
constexpr std::size_t kBlockCols = 32 * kCols;

struct Operand {
  const double* data;
  std::ptrdiff_t stride;  // between rows of a, or between values of k in b
  std::ptrdiff_t step;    // between values of k in a; unused for b
};

// Buffers for one thread's packed operands.
struct Scratch {
  std::unique_ptr<double[]> a{new double[kBlockRows * kDepth]};
  std::unique_ptr<double[]> b{new double[kDepth * (kBlockCols + kCols)]};
};
constexpr std::uint64_t kScratchBytes = (kBlockRows * kDepth + kDepth * (kBlockCols + kCols)) * 8;

// b's terms [k0, k0 + depth) for columns [j0, j0 + width), in panels of kCols
// columns, each k-major, the last padded with zeros.
void pack_b(const Operand& b, std::size_t k0, std::size_t depth, std::size_t j0, std::size_t width,
            double* out) {
  for (std::size_t j = 0; j < width; j += kCols) {
    std::size_t w = std::min(kCols, width - j);
    for (std::size_t k = 0; k < depth; ++k, out += kCols) {
      const double* row = b.data + static_cast<std::ptrdiff_t>(k0 + k) * b.stride + (j0 + j);
      std::copy_n(row, w, out);
      std::fill(out + w, out + kCols, 0.0);
    }
  }
}

// a's rows [i0, i0 + height), terms [k0, k0 + depth), in panels of kRows rows.
void pack_a(const Operand& a, std::size_t i0, std::size_t height, std::size_t k0, std::size_t depth,
            double* out) {
  for (std::size_t i = 0; i < height; i += kRows) {
    std::size_t h = std::min(kRows, height - i);
    for (std::size_t k = 0; k < depth; ++k, out += kRows) {
      for (std::size_t t = 0; t < h; ++t) {
        out[t] = a.data[static_cast<std::ptrdiff_t>(i0 + i + t) * a.stride +
                        static_cast<std::ptrdiff_t>(k0 + k) * a.step];
      }
      std::fill(out + h, out + kRows, 0.0);
    }
  }
}

// Doubles in one register of each instruction set: AVX-512 8, AVX2 4, SSE
// and NEON 2.
template <InstructionSet kSet>
constexpr std::size_t kDoublesPerRegister = kSet == InstructionSet::avx512 ? 8
                                            : kSet == InstructionSet::avx2 ? 4
                                                                           : 2;
// (Spelled out size by size: GCC drops vector_size from an alias template.)
template <std::size_t kN>
struct VecDOf;
template <>
struct VecDOf<2> {
  using type = double __attribute__((vector_size(16)));
};
template <>
struct VecDOf<4> {
  using type = double __attribute__((vector_size(32)));
};
template <>
struct VecDOf<8> {
  using type = double __attribute__((vector_size(64)));
};
template <std::size_t kN>
using VecD = typename VecDOf<kN>::type;
static_assert(sizeof(VecD<2>) == 16 && sizeof(VecD<4>) == 32 && sizeof(VecD<8>) == 64);

// tile (kRows x kCols, row stride ldc) -= a panel x b panel over `depth` k,
// in passes of kWide registers of kN doubles, as many as the registers hold
// beside their operands.
template <std::size_t kN, std::size_t kWide>
[[gnu::always_inline]] inline void subtract_tile(std::size_t depth, const double* a_panel,
                                                 const double* b_panel, double* tile,
                                                 std::size_t ldc) {
  using V = VecD<kN>;
#pragma GCC unroll 8
  for (std::size_t first = 0; first < kCols; first += kN * kWide) {
    V c[kRows][kWide];
    for (std::size_t r = 0; r < kRows; ++r) {
      for (std::size_t v = 0; v < kWide; ++v) load_vec(c[r][v], tile + r * ldc + first + kN * v);
    }
    const double* a = a_panel;
    const double* b = b_panel + first;
    for (std::size_t k = 0; k < depth; ++k, a += kRows, b += kCols) {
      V bk[kWide];
      for (std::size_t v = 0; v < kWide; ++v) load_vec(bk[v], b + kN * v);
      for (std::size_t r = 0; r < kRows; ++r) {
        double ar = a[r];
        for (std::size_t v = 0; v < kWide; ++v) c[r][v] = c[r][v] - bk[v] * ar;
      }
    }
    for (std::size_t r = 0; r < kRows; ++r) {
      for (std::size_t v = 0; v < kWide; ++v) store_vec(tile + r * ldc + first + kN * v, c[r][v]);
    }
  }
}

// c (height x width, stride ldc) -= packed a block x packed b block.
template <InstructionSet kSet>
[[gnu::always_inline]] inline void subtract_block_body(std::size_t height, std::size_t width,
                                                       std::size_t depth, const double* a_packed,
                                                       const double* b_packed, double* c,
                                                       std::size_t ldc) {
  // 8 accumulators in AVX-512's, AVX2's or SSE's registers; 16 of NEON's 32.
  constexpr std::size_t kN = kDoublesPerRegister<kSet>;
  constexpr std::size_t kWide = kX86 ? 2 : 4;
  for_each_tile<kRows, kCols>(
      height, width, depth, a_packed, b_packed, c, ldc,
      [&](const double* a_panel, const double* b_panel, double* tile, std::size_t ld) {
        subtract_tile<kN, kWide>(depth, a_panel, b_panel, tile, ld);
      });
}

QUOLVEND_DISPATCH(subtract_block,
                  (std::size_t height, std::size_t width, std::size_t depth, const double* a_packed,
                   const double* b_packed, double* c, std::size_t ldc),
                  (height, width, depth, a_packed, b_packed, c, ldc))

// c (rows x cols, stride ldc) -= a x b over `depth` terms, on this thread.
void subtract_product(std::size_t rows, std::size_t cols, std::size_t depth, const Operand& a,
                      const Operand& b, double* c, std::size_t ldc, Scratch& scratch) {
  for (std::size_t jc = 0; jc < cols; jc += kBlockCols) {
    std::size_t width = std::min(kBlockCols, cols - jc);
    for (std::size_t pc = 0; pc < depth; pc += kDepth) {
      std::size_t run = std::min(kDepth, depth - pc);
      pack_b(b, pc, run, jc, width, scratch.b.get());
      for (std::size_t ic = 0; ic < rows; ic += kBlockRows) {
        std::size_t height = std::min(kBlockRows, rows - ic);
        pack_a(a, ic, height, pc, run, scratch.a.get());
        subtract_block(height, width, run, scratch.a.get(), scratch.b.get(), c + ic * ldc + jc,
                       ldc);
      }
    }
  }
}

// --- Factorisation --------------------------------------------------------------

// Columns factorised together before the trailing update.
constexpr std::size_t kPanel = 64;

// The progress units of the panel of kb columns from k0 and its trailing
// update: about their multiply-adds.
std::uint64_t panel_work(std::size_t n, std::size_t k0, std::size_t kb) {
  return std::uint64_t{n - k0} * (n - k0) * kb;
}

// Whether x makes a better pivot than the best so far: a NaN before any
// number, then the larger magnitude; a tie keeps the earlier row.
bool better_pivot(double x, double best) {
  if (std::isnan(best)) return false;
  if (std::isnan(x)) return true;
  return std::fabs(x) > std::fabs(best);
}

// P A = L U in place: a holds U on and above the diagonal, L (unit diagonal
// implied) below it; row i of P A is row perm[i] of A.
struct Factors {
  std::size_t n = 0;
  MemoryCharge charge;   // the working copy
  MemoryCharge buffers;  // the packing buffers of `helpers` threads
  std::size_t helpers = 1;
  std::unique_ptr<double[], decltype(&std::free)> a{nullptr, &std::free};
  std::vector<Scratch> scratch;  // one for each helper
  std::vector<std::uint32_t> perm;
  bool odd_swaps = false;
  bool singular = false;
  bool finite_l = true;  // every multiplier below the diagonal is finite
  double* row(std::size_t i) const { return a.get() + i * n; }
};

void solve_panel_rows(const Factors& f, std::size_t k0, std::size_t kb, std::size_t c0,
                      std::size_t c1);

// Brings the columns right of the panel up to date: the panel's rows (U12),
// then the rows below (A22 -= L21 U12). The columns are split over the
// threads; each packs its own copies.
void update_right(Factors& f, std::size_t k0, std::size_t kb) {
  const std::size_t n = f.n, top = k0 + kb;
  const std::size_t rows = n - top, cols = n - top;
  if (cols == 0) return;
  std::uint64_t work = std::uint64_t{rows} * cols * kb;
  std::size_t parts =
      work < (std::uint64_t{1} << 20) ? 1 : std::min<std::size_t>(f.helpers, cols / kCols + 1);
  Operand a{f.row(top) + k0, static_cast<std::ptrdiff_t>(n), 1};
  parallel_for(parts, [&](std::size_t part) {
    std::size_t c0 = split_point(cols, parts, part, kCols);
    std::size_t c1 = split_point(cols, parts, part + 1, kCols);
    if (c0 == c1) return;
    solve_panel_rows(f, k0, kb, top + c0, top + c1);
    Operand b{f.row(k0) + top + c0, static_cast<std::ptrdiff_t>(n), 0};
    subtract_product(rows, c1 - c0, kb, a, b, f.row(top) + top + c0, n, f.scratch[part]);
  });
}

// Factorises columns [k0, k0 + kb) of rows k0 and below, swapping whole rows.
// Sets `ok` to false, and stops, at a pivot column of exact zeros. Built for each instruction
// set, so that the row updates vectorise at its width (the operations, one
// per element, stay the same).
template <InstructionSet>
[[gnu::always_inline]] inline void factor_panel_body(Factors& f, std::size_t k0, std::size_t kb,
                                                     bool& ok) {
  const std::size_t n = f.n, end = k0 + kb;
  ok = true;
  for (std::size_t k = k0; k < end; ++k) {
    std::size_t p = k;
    for (std::size_t i = k + 1; i < n; ++i) {
      if (better_pivot(f.row(i)[k], f.row(p)[k])) p = i;
    }
    if (f.row(p)[k] == 0.0) {
      ok = false;
      return;
    }
    if (p != k) {
      std::swap_ranges(f.row(k), f.row(k) + n, f.row(p));
      std::swap(f.perm[k], f.perm[p]);
      f.odd_swaps = !f.odd_swaps;
    }
    const double* pivot_row = f.row(k);
    const double pivot = pivot_row[k];
    for (std::size_t i = k + 1; i < n; ++i) {
      double* r = f.row(i);
      const double l = r[k] / pivot;
      r[k] = l;
      for (std::size_t j = k + 1; j < end; ++j) r[j] = r[j] - l * pivot_row[j];
    }
  }
}

QUOLVEND_DISPATCH(factor_panel, (Factors & f, std::size_t k0, std::size_t kb, bool& ok),
                  (f, k0, kb, ok))

// The panel's rows to the right of it, U12 = L11^-1 A12, for columns [c0, c1).
template <InstructionSet>
[[gnu::always_inline]] inline void solve_panel_rows_body(const Factors& f, std::size_t k0,
                                                         std::size_t kb, std::size_t c0,
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

QUOLVEND_DISPATCH(solve_panel_rows,
                  (const Factors& f, std::size_t k0, std::size_t kb, std::size_t c0,
                   std::size_t c1),
                  (f, k0, kb, c0, c1))

// Columns a panel splits down to before they are factorised one by one.
constexpr std::size_t kLeaf = 8;

// Factorises columns [k0, k0 + kb) of rows k0 and below, recursively: the left
// half; then the right half's rows of U and, by a product, its rows below;
// then the right half. Every element still takes its updates for k ascending.
// Returns false at a pivot column of exact zeros.
bool factor_columns(Factors& f, std::size_t k0, std::size_t kb) {
  if (kb <= kLeaf) {
    bool ok = false;
    factor_panel(f, k0, kb, ok);
    return ok;
  }
  const std::size_t n = f.n, h = kb / 2, mid = k0 + h;
  if (!factor_columns(f, k0, h)) return false;
  solve_panel_rows(f, k0, h, mid, k0 + kb);
  // The rows below, split over the threads.
  const std::size_t rows = n - mid;
  const std::uint64_t work = std::uint64_t{rows} * (kb - h) * h;
  const std::size_t parts =
      work < (std::uint64_t{1} << 18) ? 1 : std::min(f.helpers, rows / kRows + 1);
  parallel_for(parts, [&](std::size_t part) {
    const std::size_t r0 = mid + split_point(rows, parts, part, kRows);
    const std::size_t r1 = mid + split_point(rows, parts, part + 1, kRows);
    if (r0 == r1) return;
    subtract_product(r1 - r0, kb - h, h, {f.row(r0) + k0, static_cast<std::ptrdiff_t>(n), 1},
                     {f.row(k0) + mid, static_cast<std::ptrdiff_t>(n), 0}, f.row(r0) + mid, n,
                     f.scratch[part]);
  });
  return factor_columns(f, mid, kb - h);
}

Factors factorise(const Matrix& m) {
  Factors f;
  const std::size_t n = f.n = m.rows;
  // The working copy, and the packing buffers of the threads that can share
  // the widest update (as many as fit).
  f.charge = MemoryCharge(large_bytes(bytes_for(std::uint64_t{n} * n, sizeof(double))));
  f.helpers = std::min<std::size_t>(thread_count(), n / kCols + 1);
  f.buffers = charge_parts(f.helpers, kScratchBytes);
  f.scratch.resize(f.helpers);
  f.a.reset(static_cast<double*>(allocate_large(n * n * sizeof(double))));
  if (!f.a) out_of_memory();
  // Widened on every thread: the first writes of fresh pages are much of it.
  const float* source = m.storage.get();
  parallel_for(f.helpers, [&](std::size_t part) {
    const std::size_t first = split_point(n * n, f.helpers, part);
    const std::size_t last = split_point(n * n, f.helpers, part + 1);
    for (std::size_t i = first; i < last; ++i) f.a[i] = source[i];
  });
  f.perm.resize(n);
  for (std::size_t i = 0; i < n; ++i) f.perm[i] = static_cast<std::uint32_t>(i);

  for (std::size_t k0 = 0; k0 < n; k0 += kPanel) {
    const std::size_t kb = std::min(kPanel, n - k0);
    if (!factor_columns(f, k0, kb)) {
      f.singular = true;
      break;
    }
    progress_add(panel_work(n, k0, kb));
    update_right(f, k0, kb);
  }
  // The packing buffers go before the solves charge theirs.
  f.scratch.clear();
  f.buffers = MemoryCharge();
  for (std::size_t i = 0; i < n && f.finite_l && !f.singular; ++i) {
    for (std::size_t j = 0; j < i; ++j) f.finite_l &= std::isfinite(f.row(i)[j]);
  }
  return f;
}

// --- Solving for the inverse ------------------------------------------------------

// Row blocks of the solves.
constexpr std::size_t kSolveBlock = 64;
// Columns of the identity solved at once, by one thread.
constexpr std::size_t kSolveColumns = 64;
// A block of columns starts its forward solve at a row block's first row.
static_assert(kSolveColumns == kSolveBlock);

// The progress units of solving for `width` columns from `first`: about their
// multiply-adds when every multiplier is finite. The same units count
// otherwise, when the forward solve takes longer, so that the count still
// reaches the estimate when the work ends.
std::uint64_t solve_work(std::size_t n, std::size_t first, std::size_t width) {
  return std::uint64_t{width} * ((n - first) * (n - first) + std::uint64_t{n} * n) / 2;
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
                   Scratch& scratch) {
  const std::size_t n = f.n;
  std::fill_n(w, n * width, 0.0);
  for (std::size_t t = 0; t < width; ++t) w[(first + t) * width + t] = 1.0;
  const std::size_t start = f.finite_l ? first : 0;
  // Forward: y(i) -= l(i, j) y(j), j ascending.
  for (std::size_t i0 = start; i0 < n; i0 += kSolveBlock) {
    const std::size_t i1 = std::min(n, i0 + kSolveBlock);
    if (i0 > start) {
      subtract_product(i1 - i0, width, i0 - start,
                       {f.row(i0) + start, static_cast<std::ptrdiff_t>(n), 1},
                       {w + start * width, static_cast<std::ptrdiff_t>(width), 0}, w + i0 * width,
                       width, scratch);
    }
    for (std::size_t i = i0; i < i1; ++i) {
      double* y = w + i * width;
      for (std::size_t j = i0; j < i; ++j) {
        const double l = f.row(i)[j];
        const double* yj = w + j * width;
        for (std::size_t c = 0; c < width; ++c) y[c] = y[c] - l * yj[c];
      }
    }
  }
  // Back: x(i) -= u(i, j) x(j), j descending from n - 1, then x(i) / u(i, i).
  for (std::size_t i1 = n; i1 > 0;) {
    const std::size_t i0 = i1 > kSolveBlock ? i1 - kSolveBlock : 0;
    if (i1 < n) {
      // The terms run from column n - 1 down to column i1.
      subtract_product(i1 - i0, width, n - i1,
                       {f.row(i0) + (n - 1), static_cast<std::ptrdiff_t>(n), -1},
                       {w + (n - 1) * width, -static_cast<std::ptrdiff_t>(width), 0},
                       w + i0 * width, width, scratch);
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
    i1 = i0;
  }
}

}  // namespace

std::uint64_t lu_work(unsigned n, bool inverse) {
  std::uint64_t work = 0;
  for (std::size_t k0 = 0; k0 < n; k0 += kPanel) work += panel_work(n, k0, std::min(kPanel, n - k0));
  if (inverse) {
    for (std::size_t first = 0; first < n; first += kSolveColumns) {
      work += solve_work(n, first, std::min(kSolveColumns, n - first));
    }
  }
  return work;
}

float lu_determinant(const Matrix& m) {
  Factors f = factorise(m);
  if (f.singular) return 0.0f;
  // The product of the pivots as mantissa x 2^exponent, the mantissa kept in
  // [0.5, 1) after every factor.
  double mantissa = f.odd_swaps ? -1.0 : 1.0;
  long exponent = 0;
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

bool lu_invert(const Matrix& m, Matrix& inverse) {
  Factors f = factorise(m);
  if (f.singular) return false;
  const std::size_t n = f.n;
  const std::size_t blocks = (n + kSolveColumns - 1) / kSolveColumns;
  std::size_t parts = std::min<std::size_t>(thread_count(), blocks);
  MemoryCharge buffers = charge_parts(parts, n * kSolveColumns * sizeof(double) + kScratchBytes);
  std::atomic<std::size_t> next{0};
  parallel_for(parts, [&](std::size_t) {
    Scratch scratch;
    std::unique_ptr<double[]> w(new double[n * kSolveColumns]);
    for (std::size_t b; (b = next.fetch_add(1)) < blocks;) {
      const std::size_t first = b * kSolveColumns, width = std::min(kSolveColumns, n - first);
      solve_columns(f, first, width, w.get(), scratch);
      progress_add(solve_work(n, first, width));
      for (std::size_t i = 0; i < n; ++i) {
        float* out = inverse.data[i];
        const double* x = w.get() + i * width;
        for (std::size_t t = 0; t < width; ++t) out[f.perm[first + t]] = static_cast<float>(x[t]);
      }
    }
  });
  return true;
}

}  // namespace quolvend
