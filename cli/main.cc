// quolvend: a calculator for dense single-precision matrices. One run, one
// operation: parse the options, load one or two operands from files or the
// keyboard, print the result, exit 0; any failure ends with a message and 1.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <new>
#include <optional>
#include <stdexcept>

#include "algebra/cut.h"
#include "algebra/determinant.h"
#include "algebra/inverse.h"
#include "algebra/product.h"
#include "algebra/sum.h"
#include "cli/options.h"
#include "matrix/input.h"
#include "matrix/output.h"
#include "matrix/print.h"
#include "matrix/read.h"

namespace quolvend {
namespace {

// Loads the operand named at argv[position] (positions as getopt_long left
// them, so exactly one option word is expected before the names), or, when
// the command line is shorter, from the keyboard after `banner`.
Matrix load_operand(int argc, char** argv, int position, const char* banner, Input& keyboard) {
  if (argc > position) {
    int fd = ::open(argv[position], O_RDONLY | O_CLOEXEC);
    if (fd < 0) die("Error opening file");
    Input file(fd, /*interactive=*/false, /*owns_fd=*/true);
    return matrix_read(file);
  }
  out_line(banner);
  return matrix_read(keyboard);
}

// Asks for the row and the column to cut and reads them as "%i %i" does. Two
// integers must convert, each inside m and inside 32 bits.
void read_cut_position(Input& keyboard, const Matrix& m, std::uint32_t& row, std::uint32_t& col) {
  out_write("Where do you want to cut the matrix?");
  std::int64_t r, c;
  if (scan_integer(keyboard, r) != Scan::value || scan_integer(keyboard, c) != Scan::value ||
      r < 0 || r >= m.rows || r > INT32_MAX || c < 0 || c >= m.cols || c > INT32_MAX) {
    die("Invalid cut position");
  }
  row = static_cast<std::uint32_t>(r);
  col = static_cast<std::uint32_t>(c);
}

int run(int argc, char** argv) {
  Operation operation = parse_options(argc, argv);
  Input keyboard(STDIN_FILENO, /*interactive=*/true, /*owns_fd=*/false);
  Matrix first = load_operand(argc, argv, 2, "First Matrix", keyboard);

  switch (operation) {
    case Operation::reduce: {
      std::uint32_t row, col;
      read_cut_position(keyboard, first, row, col);
      matrix_print(matrix_cut(first, row, col));
      return 0;
    }
    case Operation::invert:
      matrix_print(matrix_inverse(first));
      return 0;
    case Operation::determinant: {
      char line[kFixedWidth + 32] = "Determinant = ";
      char* end = format_fixed(line + 14, matrix_determinant(first), 6);
      *end++ = '\n';
      out_write({line, static_cast<std::size_t>(end - line)});
      return 0;
    }
    default:
      break;
  }

  Matrix second = load_operand(argc, argv, 3, "Second Matrix", keyboard);
  std::optional<Matrix> result;
  switch (operation) {
    case Operation::add:
      result = matrix_add(first, second);
      break;
    case Operation::subtract:
      result = matrix_subtract(first, second);
      break;
    case Operation::multiply:
      result = matrix_multiply(first, second);
      break;
    default:
      result = matrix_divide(first, second);
      break;
  }
  if (!result) {
    out_line("No Solution");
    return 1;
  }
  matrix_print(*result);
  return 0;
}

}  // namespace
}  // namespace quolvend

int main(int argc, char** argv) {
  // Exhausted memory ends the run the same way wherever the allocator says so.
  try {
    quolvend::quit(quolvend::run(argc, argv));
  } catch (const std::bad_alloc&) {
    quolvend::out_of_memory();
  } catch (const std::length_error&) {
    quolvend::out_of_memory();
  }
}
