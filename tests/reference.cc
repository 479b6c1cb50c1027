#include "tests/reference.h"

#include <cstdlib>

#include "algebra/cut.h"

namespace quolvend::reference {

float determinant(const Matrix& m) {
  const std::uint32_t n = m.rows;
  if (n == 0) return 0.0f;
  if (n == 1) return m.data[0][0];
  if (n == 2) return m.data[0][0] * m.data[1][1] - m.data[1][0] * m.data[0][1];
  float sum = 0.0f;
  float sign = 1.0f;
  for (std::uint32_t j = 0; j < n; ++j) {
    Matrix minor = matrix_cut(m, 0, j);
    float t = sign * m.data[0][j];
    float d = determinant(minor);
    sum = sum + d * t;
    sign = -sign;
  }
  return sum;
}

Matrix inverse(const Matrix& m) {
  const std::uint32_t n = m.rows;
  Matrix result = matrix_create(n, n);
  float det = determinant(m);
  for (std::uint32_t i = 0; i < n; ++i) {
    for (std::uint32_t j = 0; j < n; ++j) {
      float c = n == 1 ? 1.0f : determinant(matrix_cut(m, i, j));
      if ((i + j) % 2 == 1) c = -c;
      result.data[j][i] = c;
    }
  }
  float reciprocal = 1.0f / det;
  for (std::uint32_t i = 0; i < n; ++i) {
    for (std::uint32_t j = 0; j < n; ++j) result.data[i][j] = result.data[i][j] * reciprocal;
  }
  return result;
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
