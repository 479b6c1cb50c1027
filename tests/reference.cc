#include "tests/reference.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "algebra/cut.h"

namespace quolvend::reference {
namespace {

// P A = L U in place in a (n x n); false for a zero pivot column.
bool plain_lu(std::vector<double>& a, std::size_t n, std::vector<std::size_t>& perm, bool& odd) {
  perm.resize(n);
  for (std::size_t i = 0; i < n; ++i) perm[i] = i;
  odd = false;
  for (std::size_t k = 0; k < n; ++k) {
    std::size_t p = k;
    for (std::size_t i = k + 1; i < n; ++i) {
      double x = a[i * n + k], best = a[p * n + k];
      if (!std::isnan(best) && (std::isnan(x) || std::fabs(x) > std::fabs(best))) p = i;
    }
    if (a[p * n + k] == 0.0) return false;
    if (p != k) {
      for (std::size_t j = 0; j < n; ++j) std::swap(a[k * n + j], a[p * n + j]);
      std::swap(perm[k], perm[p]);
      odd = !odd;
    }
    for (std::size_t i = k + 1; i < n; ++i) {
      double l = a[i * n + k] / a[k * n + k];
      a[i * n + k] = l;
      for (std::size_t j = k + 1; j < n; ++j) a[i * n + j] = a[i * n + j] - l * a[k * n + j];
    }
  }
  return true;
}

std::vector<double> widen(const Matrix& m) {
  return std::vector<double>(m.storage.get(), m.storage.get() + matrix_size(m));
}

}  // namespace

double lu_determinant_in_double(const Matrix& m) {
  const std::size_t n = m.rows;
  auto a = widen(m);
  std::vector<std::size_t> perm;
  bool odd;
  if (!plain_lu(a, n, perm, odd)) return 0.0;
  double product = odd ? -1.0 : 1.0;
  for (std::size_t k = 0; k < n; ++k) product *= a[k * n + k];
  return product;
}

float lu_determinant(const Matrix& m) { return static_cast<float>(lu_determinant_in_double(m)); }

std::optional<Matrix> lu_inverse(const Matrix& m) {
  const std::size_t n = m.rows;
  auto a = widen(m);
  std::vector<std::size_t> perm;
  bool odd;
  if (!plain_lu(a, n, perm, odd)) return std::nullopt;
  Matrix result = matrix_create(m.rows, m.cols);
  std::vector<double> x(n);
  for (std::size_t c = 0; c < n; ++c) {
    for (std::size_t i = 0; i < n; ++i) {
      double y = perm[i] == c ? 1.0 : 0.0;
      for (std::size_t j = 0; j < i; ++j) y = y - a[i * n + j] * x[j];
      x[i] = y;
    }
    for (std::size_t i = n; i-- > 0;) {
      double y = x[i];
      for (std::size_t j = n; j-- > i + 1;) y = y - a[i * n + j] * x[j];
      x[i] = y / a[i * n + i];
    }
    for (std::size_t i = 0; i < n; ++i) result.data[i][c] = static_cast<float>(x[i]);
  }
  return result;
}

float determinant(const Matrix& m) {
  const std::uint32_t n = m.rows;
  if (n == 0) return 0.0f;
  if (n == 1) return m.data[0][0];
  if (n == 2) return m.data[0][0] * m.data[1][1] - m.data[1][0] * m.data[0][1];
  float sum = 0.0f;
  float sign = 1.0f;
  for (std::uint32_t j = 0; j < n; ++j) {
    Matrix minor = matrix_cut(m, 0, j, Compute{});
    float t = sign * m.data[0][j];
    float d = determinant(minor);
    sum = sum + d * t;
    sign = -sign;
  }
  return sum;
}

Matrix adjugate(const Matrix& m) {
  const std::uint32_t n = m.rows;
  Matrix result = matrix_create(n, n);
  for (std::uint32_t i = 0; i < n; ++i) {
    for (std::uint32_t j = 0; j < n; ++j) {
      float c = n == 1 ? 1.0f : determinant(matrix_cut(m, i, j, Compute{}));
      if ((i + j) % 2 == 1) c = -c;
      result.data[j][i] = c;
    }
  }
  return result;
}

namespace {

Matrix times_reciprocal(Matrix adjugate, float det) {
  float reciprocal = 1.0f / det;
  for (std::uint32_t i = 0; i < adjugate.rows; ++i) {
    for (std::uint32_t j = 0; j < adjugate.cols; ++j) {
      adjugate.data[i][j] = adjugate.data[i][j] * reciprocal;
    }
  }
  return adjugate;
}

bool finite(const Matrix& m) {
  for (std::uint32_t i = 0; i < m.rows; ++i) {
    for (std::uint32_t j = 0; j < m.cols; ++j) {
      if (!std::isfinite(m.data[i][j])) return false;
    }
  }
  return true;
}

// Whether the operations since the last call overflowed, underflowed with a
// loss of digits or were invalid; clears the flags.
bool left_range() {
  constexpr int kOut = FE_OVERFLOW | FE_UNDERFLOW | FE_INVALID;
  const bool left = std::fetestexcept(kOut) != 0;
  std::feclearexcept(kOut);
  return left;
}

int exponent_of(float x) {
  int e = 0;
  std::frexp(x, &e);
  return e;
}

// m with row i times 2^-row[i], then column j times 2^-col[j], each the
// exponent of the row's (then the scaled column's) largest magnitude.
Matrix equilibrated(const Matrix& m, std::vector<int>& row, std::vector<int>& col) {
  Matrix s = matrix_create(m.rows, m.cols);
  row.assign(m.rows, 0);
  col.assign(m.cols, 0);
  for (std::uint32_t i = 0; i < m.rows; ++i) {
    float largest = 0.0f;
    for (std::uint32_t j = 0; j < m.cols; ++j) largest = std::max(largest, std::fabs(m.data[i][j]));
    if (largest > 0.0f) row[i] = exponent_of(largest);
  }
  // The row-scaled values in double, where they are all exact.
  for (std::uint32_t j = 0; j < m.cols; ++j) {
    double largest = 0.0;
    for (std::uint32_t i = 0; i < m.rows; ++i)
      largest = std::max(largest, std::fabs(std::ldexp(double{m.data[i][j]}, -row[i])));
    if (largest > 0.0) std::frexp(largest, &col[j]);
  }
  for (std::uint32_t i = 0; i < m.rows; ++i) {
    for (std::uint32_t j = 0; j < m.cols; ++j)
      s.data[i][j] = std::ldexp(m.data[i][j], -(row[i] + col[j]));
  }
  return s;
}

}  // namespace

Matrix inverse(const Matrix& m) { return times_reciprocal(adjugate(m), determinant(m)); }

float ranged_determinant(const Matrix& m, Expansion e) {
  left_range();
  float det = e.determinant(m);
  if (!left_range() || !finite(m)) return det;
  std::vector<int> row, col;
  Matrix s = equilibrated(m, row, col);
  int scale = 0;
  for (int x : row) scale += x;
  for (int x : col) scale += x;
  left_range();
  float scaled = e.determinant(s);
  if (!left_range()) return scaled == 0.0f ? det : std::ldexp(scaled, scale);
  double lu = lu_determinant_in_double(s);
  return lu == 0.0 ? det : static_cast<float>(std::ldexp(lu, scale));
}

std::optional<Matrix> ranged_inverse(const Matrix& m, Expansion e) {
  left_range();
  float det = e.determinant(m);
  // A zero determinant with no flag raised is refused before any cofactor.
  bool fires = left_range() && finite(m);
  if (!fires && det == 0.0f) return std::nullopt;
  Matrix first = times_reciprocal(e.adjugate(m), det);
  fires = (left_range() || fires) && finite(m);
  if (fires) {
    std::vector<int> row, col;
    Matrix s = equilibrated(m, row, col);
    left_range();
    float scaled = e.determinant(s);
    bool left = left_range();
    std::optional<Matrix> result;
    if (!left && scaled != 0.0f) {
      result = times_reciprocal(e.adjugate(s), scaled);
      left = left_range();
    }
    if (left) result = lu_inverse(s);
    if (result) {
      for (std::uint32_t r = 0; r < m.rows; ++r) {
        for (std::uint32_t c = 0; c < m.cols; ++c)
          result->data[r][c] = std::ldexp(result->data[r][c], -(col[r] + row[c]));
      }
      return result;
    }
  }
  if (det == 0.0f) return std::nullopt;
  return first;
}

namespace {

// value[set] for every set of columns of `rows` (its rows are the matrix's
// rows in order) with at most rows.size() members: the determinant of those
// columns and the last |set| rows, expanded along the first of them.
std::vector<float> minor_table(const std::vector<const float*>& rows, unsigned columns) {
  const auto height = static_cast<unsigned>(rows.size());
  std::vector<float> value(std::size_t{1} << columns, 0.0f);
  // Every subset of a set is a smaller number, so it is filled first.
  for (std::uint32_t set = 1; set < value.size(); ++set) {
    auto k = static_cast<unsigned>(std::popcount(set));
    if (k > height) continue;
    const float* top = rows[height - k];
    unsigned first = static_cast<unsigned>(std::countr_zero(set));
    if (k == 1) {
      value[set] = top[first];
    } else if (k == 2) {
      unsigned second = static_cast<unsigned>(std::countr_zero(set & (set - 1)));
      const float* last = rows[height - 1];
      value[set] = top[first] * last[second] - last[first] * top[second];
    } else {
      float sum = 0.0f;
      float sign = 1.0f;
      for (unsigned c = 0; c < columns; ++c) {
        if ((set >> c & 1) == 0) continue;
        float t = sign * top[c];
        sum = sum + value[set ^ (1u << c)] * t;
        sign = -sign;
      }
      value[set] = sum;
    }
  }
  return value;
}

std::vector<const float*> rows_without(const Matrix& m, std::uint32_t left_out) {
  std::vector<const float*> rows;
  for (std::uint32_t r = 0; r < m.rows; ++r) {
    if (r != left_out) rows.push_back(m.data[r]);
  }
  return rows;
}

}  // namespace

float memo_determinant(const Matrix& m) {
  if (m.rows == 0) return 0.0f;
  return minor_table(rows_without(m, m.rows), m.rows).back();
}

Matrix memo_adjugate(const Matrix& m) {
  const std::uint32_t n = m.rows;
  Matrix result = matrix_create(n, n);
  const std::uint32_t all = (1u << n) - 1;
  for (std::uint32_t i = 0; i < n; ++i) {
    std::vector<float> table = minor_table(rows_without(m, i), n);
    for (std::uint32_t j = 0; j < n; ++j) {
      float c = table[all ^ (1u << j)];
      result.data[j][i] = (i + j) % 2 == 1 ? -c : c;
    }
  }
  return result;
}

Matrix memo_inverse(const Matrix& m) {
  return times_reciprocal(memo_adjugate(m), memo_determinant(m));
}

Matrix multiply(const Matrix& a, const Matrix& b) {
  Matrix c = matrix_create(a.rows, b.cols);
  for (std::uint32_t r = 0; r < a.rows; ++r) {
    for (std::uint32_t col = 0; col < b.cols; ++col) {
      for (std::uint32_t k = 0; k < a.cols; ++k) {
        c.data[r][col] = a.data[r][k] * b.data[k][col] + c.data[r][col];
      }
    }
  }
  return c;
}

namespace {

// White space as the C library's isspace sees it in the C locale.
bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Skips white space; returns the next token, or an empty string at the end.
std::string next_token(TextInput& in) {
  while (in.pos < in.text.size() && is_space(in.text[in.pos])) ++in.pos;
  std::size_t end = in.pos;
  while (end < in.text.size() && !is_space(in.text[end])) ++end;
  return in.text.substr(in.pos, end - in.pos);
}

}  // namespace

Scan scan_count(TextInput& in, std::uint32_t& value) {
  std::string token = next_token(in);
  if (token.empty()) return Scan::end;
  char* stop;
  unsigned long v = std::strtoul(token.c_str(), &stop, 10);
  if (stop == token.c_str()) return Scan::mismatch;
  in.pos += static_cast<std::size_t>(stop - token.c_str());
  value = static_cast<std::uint32_t>(v);
  return Scan::value;
}

Scan scan_float(TextInput& in, float& value) {
  std::string token = next_token(in);
  if (token.empty()) return Scan::end;
  char* stop;
  float v = std::strtof(token.c_str(), &stop);
  if (stop == token.c_str()) return Scan::mismatch;
  in.pos += static_cast<std::size_t>(stop - token.c_str());
  value = v;
  return Scan::value;
}

Scan scan_integer(TextInput& in, std::int64_t& value) {
  std::string token = next_token(in);
  if (token.empty()) return Scan::end;
  char* stop;
  long v = std::strtol(token.c_str(), &stop, 0);
  if (stop == token.c_str()) return Scan::mismatch;
  in.pos += static_cast<std::size_t>(stop - token.c_str());
  constexpr long kLimit = long{1} << 62;
  value = v > kLimit ? kLimit : v < -kLimit ? -kLimit : v;
  return Scan::value;
}

bool skip_token(TextInput& in) {
  std::string token = next_token(in);
  if (token.empty()) return false;
  in.pos += token.size();
  return true;
}

}  // namespace quolvend::reference
