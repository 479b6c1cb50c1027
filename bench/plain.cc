// A deliberately plain version of the program, the baseline for the
// benchmarks: glibc's fscanf and printf, the textbook product loop, and the
// literal cofactor recursion with a new minor per term. Files only, no checks.
//   quolvend_plain -a|-m|-D|-i|-d file1 [file2]
#include <cstdio>
#include <cstring>
#include <string_view>

#include "tests/reference.h"

using namespace quolvend;

namespace {

Matrix load(const char* path) {
  std::FILE* f = std::fopen(path, "r");
  unsigned rows = 0, cols = 0;
  if (!f || std::fscanf(f, "%u %u", &rows, &cols) != 2) return matrix_create(0, 0);
  Matrix m = matrix_create(rows, cols);
  for (unsigned r = 0; r < rows; ++r) {
    for (unsigned c = 0; c < cols; ++c) {
      if (std::fscanf(f, "%f", &m.data[r][c]) != 1) break;
    }
  }
  std::fclose(f);
  return m;
}

void print(const Matrix& m) {
  for (unsigned r = 0; r < m.rows; ++r) {
    for (unsigned c = 0; c < m.cols; ++c) std::printf("%.3f\t", static_cast<double>(m.data[r][c]));
    std::putchar('\n');
  }
}

Matrix textbook_product(const Matrix& a, const Matrix& b) {
  Matrix c = matrix_create(a.rows, b.cols);
  for (unsigned r = 0; r < a.rows; ++r) {
    for (unsigned j = 0; j < b.cols; ++j) {
      for (unsigned k = 0; k < a.cols; ++k)
        c.data[r][j] = a.data[r][k] * b.data[k][j] + c.data[r][j];
    }
  }
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  std::string_view op = argv[1];
  Matrix a = load(argv[2]);
  if (op == "-D") {
    std::printf("Determinant = %f\n", static_cast<double>(reference::determinant(a)));
  } else if (op == "-i") {
    print(reference::inverse(a));
  } else if (argc > 3) {
    Matrix b = load(argv[3]);
    if (op == "-a") {
      Matrix c = matrix_create(a.rows, a.cols);
      for (unsigned r = 0; r < a.rows; ++r) {
        for (unsigned j = 0; j < a.cols; ++j) c.data[r][j] = a.data[r][j] + b.data[r][j];
      }
      print(c);
    } else if (op == "-m") {
      print(textbook_product(a, b));
    } else if (op == "-d") {
      print(textbook_product(a, reference::inverse(b)));
    }
  }
  return 0;
}
