// quolvend: a calculator for dense single-precision matrices. One run, one
// operation: parse the options, load one or two operands from files or the
// keyboard, print the result, exit 0; any failure ends with a message and 1.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <utility>

#include "algebra/cut.h"
#include "algebra/determinant.h"
#include "algebra/inverse.h"
#include "algebra/product.h"
#include "algebra/sum.h"
#include "cli/options.h"
#include "matrix/input.h"
#include "matrix/load.h"
#include "matrix/print.h"
#include "matrix/read.h"
#include "process/exits.h"
#include "process/memory.h"
#include "process/output.h"
#include "process/parallel.h"
#include "process/progress.h"

namespace quolvend {
namespace {

// The name "-" stands for standard input, read as a file: no banner, no
// prompts, through the one buffer every read of standard input shares.
bool names_standard_input(const char* name) { return std::strcmp(name, "-") == 0; }

// Loads the operand named at argv[position] (positions as getopt_long left
// them, so exactly one option word is expected before the names), or, when
// the command line is shorter, from the keyboard after `banner`.
Matrix load_operand(int argc, char** argv, int position, const char* banner, Input& keyboard) {
  if (argc > position) {
    if (names_standard_input(argv[position])) return matrix_read(keyboard, /*prompts=*/false);
    return load_file(argv[position]);
  }
  out_line(banner);
  return matrix_read(keyboard, /*prompts=*/true);
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

// Prints the result of a two-operand operation, or "No Solution" when the
// operation refused its operands (it has said why). Returns the status.
int finish(const std::optional<Matrix>& result) {
  progress_finish();
  if (!result) {
    out_line("No Solution");
    return 1;
  }
  matrix_print(*result);
  return 0;
}

int run(int argc, char** argv) {
  Operation operation = parse_options(argc, argv);
  // What the system allows is read from files of its own, before an operand
  // holds a descriptor that an open-file limit may need.
  memory_budget();
  thread_count();
  if (::isatty(STDERR_FILENO)) progress_enable(STDERR_FILENO);
  Input keyboard(STDIN_FILENO, /*interactive=*/true, /*sole_reader=*/false);

  // One-operand operations.
  switch (operation) {
    case Operation::cut: {
      Matrix m = load_operand(argc, argv, 2, "First Matrix", keyboard);
      std::uint32_t row, col;
      read_cut_position(keyboard, m, row, col);
      matrix_print(matrix_cut(m, row, col));
      return 0;
    }
    case Operation::invert: {
      Matrix m = load_operand(argc, argv, 2, "First Matrix", keyboard);
      progress_start(inverse_work(m));
      Matrix inverse = matrix_inverse(m);
      progress_finish();
      matrix_print(inverse);
      return 0;
    }
    case Operation::determinant: {
      Matrix m = load_operand(argc, argv, 2, "First Matrix", keyboard);
      progress_start(determinant_work(m));
      float determinant = matrix_determinant(m);
      progress_finish();
      print_determinant(determinant);
      return 0;
    }
    case Operation::none:
    case Operation::add:
    case Operation::subtract:
    case Operation::multiply:
    case Operation::divide:
      break;
  }

  // Two-operand operations. Two named files may load at once.
  std::optional<Matrix> first, second;
  if (argc > 3 && !names_standard_input(argv[2]) && !names_standard_input(argv[3])) {
    auto both = load_two_files(argv[2], argv[3]);
    first = std::move(both.first);
    second = std::move(both.second);
  } else {
    first = load_operand(argc, argv, 2, "First Matrix", keyboard);
    second = load_operand(argc, argv, 3, "Second Matrix", keyboard);
  }
  switch (operation) {
    case Operation::add:
      return finish(matrix_add(*first, *second));
    case Operation::subtract:
      return finish(matrix_subtract(*first, *second));
    case Operation::multiply:
      progress_start(multiply_work(*first, *second));
      return finish(matrix_multiply(*first, *second));
    case Operation::divide:
      progress_start(divide_work(*first, *second));
      return finish(matrix_divide(*first, *second));
    case Operation::none:
    case Operation::cut:
    case Operation::invert:
    case Operation::determinant:
      break;
  }
  return 1;  // parse_options never returns these here
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
  } catch (const quolvend::Failure& f) {
    quolvend::fail(f);
  }
}
