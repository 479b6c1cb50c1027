// The run: read the configuration, load one or two operands from files or the
// keyboard, compute, print the result, exit 0; any failure ends with a
// message and 1.
#include "cli/run.h"

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "algebra/cut.h"
#include "algebra/determinant.h"
#include "algebra/inverse.h"
#include "algebra/product.h"
#include "algebra/sum.h"
#include "cli/config.h"
#include "matrix/load.h"
#include "matrix/print.h"
#include "matrix/read.h"
#include "matrix/scan.h"
#include "process/exits.h"
#include "process/output.h"
#include "process/progress.h"

namespace quolvend {
namespace {

bool takes_two_operands(Operation operation) {
  return operation == Operation::add || operation == Operation::subtract ||
         operation == Operation::multiply || operation == Operation::divide;
}

// The name "-" stands for standard input, read as a file: no banner, no
// prompts, through the one buffer every read of standard input shares.
bool names_standard_input(const char* name) { return std::strcmp(name, "-") == 0; }

// Loads the operand of file `name`, or, without one, from the keyboard after
// `banner`; messages call it `operand`.
Matrix load_operand(const char* name, const char* banner, const char* operand, Input& keyboard,
                    const Compute& compute) {
  keyboard.name = operand;
  if (name) {
    if (names_standard_input(name)) return matrix_read(keyboard, /*prompts=*/false, compute);
    return load_file(name, operand, compute);
  }
  out_line(banner);
  return matrix_read(keyboard, /*prompts=*/true, compute);
}

struct Operands {
  Matrix first;
  std::optional<Matrix> second;
};

// The operation's operands, in turn; two named files may load at once.
Operands load_operands(const RunConfig& config, Input& keyboard) {
  const Compute& compute = config.compute;
  if (!takes_two_operands(config.operation)) {
    return {load_operand(config.first, "First Matrix", kFirstOperand, keyboard, compute),
            std::nullopt};
  }
  if (config.first && config.second && !names_standard_input(config.first) &&
      !names_standard_input(config.second)) {
    auto both = load_two_files(config.first, config.second, compute);
    return {std::move(both.first), std::move(both.second)};
  }
  Matrix first = load_operand(config.first, "First Matrix", kFirstOperand, keyboard, compute);
  return {std::move(first),
          load_operand(config.second, "Second Matrix", kSecondOperand, keyboard, compute)};
}

// Asks for the row and the column to cut and reads them as "%i %i" does. Two
// integers must convert, each inside m and inside 32 bits; the message
// otherwise says what would have been allowed.
void read_cut_position(Input& keyboard, const Matrix& m, std::uint32_t& row, std::uint32_t& col) {
  out_write("Where do you want to cut the matrix?");
  if (m.rows == 0 || m.cols == 0) {
    die("Invalid cut position: a " + std::to_string(m.rows) + " x " + std::to_string(m.cols) +
        " matrix has nothing to cut");
  }
  std::int64_t r, c;
  if (scan_integer(keyboard, r) != Scan::value || scan_integer(keyboard, c) != Scan::value ||
      r < 0 || r >= m.rows || r > INT32_MAX || c < 0 || c >= m.cols || c > INT32_MAX) {
    die("Invalid cut position: give a row from 0 to " + std::to_string(m.rows - 1) +
        " and a column from 0 to " + std::to_string(m.cols - 1));
  }
  row = static_cast<std::uint32_t>(r);
  col = static_cast<std::uint32_t>(c);
}

// What an operation comes to: a matrix, a determinant, or nothing when it
// refused its operands (having said why).
struct Result {
  std::optional<Matrix> matrix;
  std::optional<float> determinant;
};

// The work the operation takes, in the units it reports as progress.
std::uint64_t work_of(Operation operation, const Operands& x) {
  switch (operation) {
    case Operation::determinant:
      return determinant_work(x.first);
    case Operation::invert:
      return inverse_work(x.first);
    case Operation::multiply:
      return multiply_work(x.first, *x.second);
    case Operation::divide:
      return divide_work(x.first, *x.second);
    case Operation::none:
    case Operation::add:
    case Operation::subtract:
    case Operation::cut:
      break;
  }
  return 0;
}

Result compute(Operation operation, const Operands& x, Input& keyboard, const Compute& c) {
  switch (operation) {
    case Operation::add:
      return {matrix_add(x.first, *x.second, c), std::nullopt};
    case Operation::subtract:
      return {matrix_subtract(x.first, *x.second, c), std::nullopt};
    case Operation::multiply:
      return {matrix_multiply(x.first, *x.second, c), std::nullopt};
    case Operation::divide:
      return {matrix_divide(x.first, *x.second, c), std::nullopt};
    case Operation::determinant:
      return {std::nullopt, matrix_determinant(x.first, c)};
    case Operation::invert:
      return {matrix_inverse(x.first, c), std::nullopt};
    case Operation::cut: {
      std::uint32_t row, col;
      read_cut_position(keyboard, x.first, row, col);
      return {matrix_cut(x.first, row, col, c), std::nullopt};
    }
    case Operation::none:
      break;
  }
  return {};  // read_config never lets `none` through
}

// Prints the result; "No Solution" and status 1 when there is none.
int print(const Result& result, const Compute& compute) {
  if (result.determinant) {
    print_determinant(*result.determinant);
  } else if (result.matrix) {
    matrix_print(*result.matrix, compute);
  } else {
    out_line("No Solution");
    return 1;
  }
  return 0;
}

int run(int argc, char** argv) {
  const RunConfig config = read_config(argc, argv);
  start_run(config);
  Input keyboard(STDIN_FILENO, /*interactive=*/true, /*sole_reader=*/false);
  const Operands operands = load_operands(config, keyboard);
  progress_start(work_of(config.operation, operands));
  const Result result = compute(config.operation, operands, keyboard, config.compute);
  progress_finish();
  return print(result, config.compute);
}

}  // namespace

void run_program(int argc, char** argv) {
  // Exhausted memory ends the run the same way wherever the allocator says so.
  end_on_failed_allocation();
  try {
    quit(run(argc, argv));
  } catch (const std::bad_alloc&) {
    out_of_memory();
  } catch (const std::length_error&) {
    out_of_memory();
  } catch (const Failure& f) {
    fail(f);
  }
}

}  // namespace quolvend
