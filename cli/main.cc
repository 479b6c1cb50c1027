// quolvend: a calculator for dense single-precision matrices. One run, one
// operation: parse the options, load one or two operands from files or the
// keyboard, print the result, exit 0; any failure ends with a message and 1.
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>

#include "algebra/cut.h"
#include "algebra/determinant.h"
#include "algebra/inverse.h"
#include "algebra/minor_table.h"
#include "algebra/product.h"
#include "algebra/sum.h"
#include "cli/options.h"
#include "matrix/input.h"
#include "matrix/output.h"
#include "matrix/parallel.h"
#include "matrix/print.h"
#include "matrix/progress.h"
#include "matrix/read.h"

namespace quolvend {
namespace {

// The name "-" stands for standard input, read as a file: no banner, no
// prompts, through the one buffer every read of standard input shares.
bool names_standard_input(const char* name) { return std::strcmp(name, "-") == 0; }

// Opens and reads the file `name`; "Error opening file" if it cannot be opened.
Matrix load_file(const char* name) {
  int fd = ::open(name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) die("Error opening file");
  Input file(fd, /*interactive=*/false, /*owns_fd=*/true);
  return matrix_read(file, /*prompts=*/false);
}

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

// Reads two files at once. Failures are reported as reading them in turn
// would: the first file's first. Memory the second took may be what the first
// lacked, so a first file out of memory is read again alone (and the second
// left for later).
std::pair<std::optional<Matrix>, std::optional<Matrix>> load_both_files(const char* first_name,
                                                                        const char* second_name) {
  const char* names[] = {first_name, second_name};
  std::array<std::optional<Matrix>, 2> loaded;
  std::array<std::optional<std::string>, 2> failure;
  parallel_for(2, [&](std::size_t i) {
    DeferFailures defer;
    try {
      loaded[i] = load_file(names[i]);
    } catch (const Failure& f) {
      failure[i] = f.message;
    } catch (const std::bad_alloc&) {
      failure[i] = "MALLOC error";
    }
  });
  if (failure[0] == "MALLOC error") {
    loaded = {};
    return {load_file(first_name), std::nullopt};
  }
  if (failure[0]) die(*failure[0]);
  if (failure[1]) die(*failure[1]);
  return {std::move(loaded[0]), std::move(loaded[1])};
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

// The work an invert takes, in the minor table's units.
std::uint64_t inverse_work(const Matrix& m) {
  if (m.rows != m.cols) return 0;
  return minor_table_work(m.rows, false) + minor_table_work(m.rows, true);
}

int run(int argc, char** argv) {
  Operation operation = parse_options(argc, argv);
  if (::isatty(STDERR_FILENO)) progress_enable(STDERR_FILENO);
  Input keyboard(STDIN_FILENO, /*interactive=*/true, /*owns_fd=*/false);
  bool two_operands = operation != Operation::reduce && operation != Operation::invert &&
                      operation != Operation::determinant;
  bool two_files = two_operands && argc > 3 && !names_standard_input(argv[2]) &&
                   !names_standard_input(argv[3]) && thread_count() > 1;

  std::optional<Matrix> first, second;
  if (two_files) {
    std::tie(first, second) = load_both_files(argv[2], argv[3]);
  } else {
    first = load_operand(argc, argv, 2, "First Matrix", keyboard);
  }

  switch (operation) {
    case Operation::reduce: {
      std::uint32_t row, col;
      read_cut_position(keyboard, *first, row, col);
      matrix_print(matrix_cut(*first, row, col));
      return 0;
    }
    case Operation::invert: {
      progress_start(inverse_work(*first));
      Matrix inverse = matrix_inverse(*first);
      progress_finish();
      matrix_print(inverse);
      return 0;
    }
    case Operation::determinant: {
      progress_start(first->rows == first->cols ? minor_table_work(first->rows, false) : 0);
      float determinant = matrix_determinant(*first);
      progress_finish();
      char line[kFixedWidth + 32] = "Determinant = ";
      char* end = format_fixed(line + 14, determinant, 6);
      *end++ = '\n';
      out_write({line, static_cast<std::size_t>(end - line)});
      return 0;
    }
    default:
      break;
  }

  if (!second) second = load_operand(argc, argv, 3, "Second Matrix", keyboard);
  std::optional<Matrix> result;
  switch (operation) {
    case Operation::add:
      result = matrix_add(*first, *second);
      break;
    case Operation::subtract:
      result = matrix_subtract(*first, *second);
      break;
    case Operation::multiply:
      progress_start(multiply_work(*first, *second));
      result = matrix_multiply(*first, *second);
      break;
    default:
      progress_start(inverse_work(*second) + multiply_work(*first, *second));
      result = matrix_divide(*first, *second);
      break;
  }
  progress_finish();
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
