// Plain, literal implementations that the fast code is checked against: the
// cofactor recursion with a new minor per term, the textbook product loop, and
// a token reader that hands each whole token to the libc conversions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "matrix/matrix.h"
#include "matrix/scan.h"

namespace quolvend::reference {

// Cofactor expansion along the first row, a cut minor per term, n! terms.
float determinant(const Matrix& m);

// The transposed cofactors, each a full recursion on its own cut minor, the
// sign bit flipped where i + j is odd; of a 1 x 1 matrix, [1].
Matrix adjugate(const Matrix& m);

// The adjugate times the single-precision reciprocal of the determinant; the
// 1 x 1 inverse of [x] is [1/x]. m must be square and invertible.
Matrix inverse(const Matrix& m);

// The same values as determinant and inverse, from a table of every column
// set's minor (the rows the recursion pairs with a set of k columns are the
// last k), each filled in the recursion's order of operations from its
// subsets: n 2^n work instead of n!. n is at most 24; the inverse needs n >= 2.
float memo_determinant(const Matrix& m);
Matrix memo_adjugate(const Matrix& m);
Matrix memo_inverse(const Matrix& m);

// An expansion's determinant and adjugate, plain or memoised.
struct Expansion {
  float (*determinant)(const Matrix&);
  Matrix (*adjugate)(const Matrix&);
};
inline constexpr Expansion kPlain{determinant, adjugate};
inline constexpr Expansion kMemo{memo_determinant, memo_adjugate};

// What the program makes of an expansion that leaves float's range, written
// out: where an operation of the expansion of a matrix of finite elements
// raised FE_OVERFLOW, FE_UNDERFLOW or FE_INVALID, the same expansion of the
// matrix with row i times 2^-row_i and then column j times 2^-col_j (each the
// exponent of the largest magnitude), or the LU in double where that raises a
// flag too, scaled back, unless it finds the matrix singular. The inverse is
// nothing where it is refused.
float ranged_determinant(const Matrix& m, Expansion e);
std::optional<Matrix> ranged_inverse(const Matrix& m, Expansion e);

// Unblocked LU with partial pivoting in double, in the order lu.h states:
// the determinant as a plain product of the pivots in double (so only for
// matrices whose product stays in range), rounded once; and the inverse,
// solved column by column, or nothing for a zero pivot column.
float lu_determinant(const Matrix& m);
double lu_determinant_in_double(const Matrix& m);  // the same, not rounded
std::optional<Matrix> lu_inverse(const Matrix& m);

// For each (r, c), k ascending from +0.0. Sizes must fit.
Matrix multiply(const Matrix& a, const Matrix& b);

// A token stream held in memory, read with strtoul, strtof and strtol on
// NUL-terminated copies of each token.
struct TextInput {
  std::string text;
  std::size_t pos = 0;
};

Scan scan_count(TextInput& in, std::uint32_t& value);
Scan scan_float(TextInput& in, float& value);
// strtol's value, clamped to +-2^62 as quolvend::scan_integer saturates.
Scan scan_integer(TextInput& in, std::int64_t& value);
bool skip_token(TextInput& in);

}  // namespace quolvend::reference
