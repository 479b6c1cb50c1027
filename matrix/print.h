// Writing numbers and matrices to standard output.
#pragma once

#include "kernels/compute.h"
#include "matrix/matrix.h"

namespace quolvend {

// Room format_fixed needs: sign, 39 integer digits, point, up to 6 decimals,
// and scratch past the end.
inline constexpr int kFixedWidth = 48;

// Writes x (widened to double) with `decimals` (at most 6) digits after the
// point, exactly as printf's "%.*f" does, except that every NaN is written
// "nan", whatever its sign bit. Returns the end of what was written.
char* format_fixed(char* out, float x, int decimals);

// Writes each row as its elements in "%.3f" form, each followed by a tab, then
// a newline. A row with no columns is an empty line; no rows, no output.
void matrix_print(const Matrix& m, const Compute& compute);

// Writes "Determinant = " and the value in "%f" form, then a newline.
void print_determinant(float value);

}  // namespace quolvend
