// Determinants of the minors that cofactor expansion reaches, each computed once.
//
// Expanding an n x n determinant along its first row, recursively, reaches only
// minors made of the matrix's last k rows and some set of k columns. With the
// row each size expands along fixed, a minor's determinant, every rounding
// included, depends on its column set alone. So the sets are visited from small
// to large, each determinant computed from those of its subsets in exactly the
// order the recursion uses, and kept only while the next size needs it. That
// turns n! terms into about n * 2^(n-1).
#pragma once

#include <cstdint>

#include "kernels/compute.h"
#include "matrix/matrix.h"

namespace quolvend {

// Returns the determinant of the square matrix m (at least 3 x 3), bit for bit
// as the recursive expansion along the first row computes it. Ends the process
// with "MALLOC error" if the tables do not fit in the memory budget.
float expand_determinant(const Matrix& m, const Compute& compute);

// Ends the process with "MALLOC error" unless the tables expand_minors needs
// for an n x n matrix fit in the memory budget.
void require_minor_tables(unsigned n);

// The work expand_determinant (or, with `every_minor`, expand_minors) does on
// an n x n matrix, in the units it reports as progress.
std::uint64_t minor_table_work(unsigned n, bool every_minor);

// Sets minors.data[i][j] to the determinant, computed as expand_determinant
// would, of m without row i and column j, for every i and j. m is square and
// at least 3 x 3; minors has its size. Ends the process with "MALLOC error" if
// the tables do not fit in the memory budget.
void expand_minors(const Matrix& m, Matrix& minors, const Compute& compute);

}  // namespace quolvend
