// Determinant and inverse of large matrices by LU factorisation.
//
// Cofactor expansion gives its own single-precision digits up to 26 x 26, and
// no result at all much beyond (its tables grow as 2^n). From 27 x 27 up, the
// determinant and the inverse come from an LU factorisation with partial
// pivoting in double precision, rounded once to single precision at the end.
// Every value is computed in one fixed order of operations, with no fused
// multiply-add, whatever the blocking, the thread count or the instruction
// set, so the digits are the same everywhere:
//   - factorisation: for k ascending, the pivot is the entry of column k (rows
//     k and below) of largest magnitude, the first such row on a tie, a NaN
//     before any number; its row is swapped with row k; each l(i, k) is
//     a(i, k) / a(k, k), and then a(i, j) = a(i, j) - l(i, k) * a(k, j);
//   - the inverse solves L U X = P, column by column: forward, y(i) = p(i) -
//     l(i, j) * y(j) for j ascending; back, x(i) = y(i) - u(i, j) * x(j) for j
//     descending from n - 1, then x(i) / u(i, i).
#pragma once

#include <cstdint>
#include <optional>

#include "kernels/compute.h"
#include "matrix/matrix.h"

namespace quolvend {

// Sizes up to this take cofactor expansion; larger ones take LU.
inline constexpr unsigned kCofactorLimit = 26;

// Whether an n x n determinant or inverse takes the LU path. Tests reach the
// path on smaller matrices by calling lu_determinant and lu_invert directly.
inline bool takes_lu_path(unsigned n) { return n > kCofactorLimit; }

// The determinant of the square matrix m: the signed product of the pivots,
// kept as a mantissa and an exponent so that no partial product overflows or
// underflows, rounded once to single precision. A NaN anywhere in m gives NaN;
// otherwise a pivot column of exact zeros gives +0.
float lu_determinant(const Matrix& m, const Compute& compute);

// The same times 2^scale, still rounded once; nothing for a pivot column of
// exact zeros, so that singular stays apart from a value too small for float.
std::optional<float> lu_scaled_determinant(const Matrix& m, int scale, const Compute& compute);

// Writes the inverse of the square matrix m, rounded once to single
// precision, into `inverse` (made by the caller, m's size); a NaN anywhere in
// m makes every element NaN. Otherwise returns false, leaving `inverse`
// unfinished, when a pivot column is all exact zeros (m is singular in the
// arithmetic).
bool lu_invert(const Matrix& m, Matrix& inverse, const Compute& compute);

// The work lu_determinant (or, with `inverse`, lu_invert) does on an n x n
// matrix, in the units it reports as progress.
std::uint64_t lu_work(unsigned n, bool inverse);

}  // namespace quolvend
