#include "matrix/load.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <new>
#include <optional>

#include "matrix/read.h"
#include "process/exits.h"
#include "process/memory.h"
#include "process/parallel.h"

namespace quolvend {
namespace {

int open_file(const char* name) { return ::open(name, O_RDONLY | O_CLOEXEC); }

bool is_regular(int fd) {
  struct stat status;
  return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

// Only a regular file is opened ahead of its turn: opening a FIFO waits for
// its writer, and reading a pipe or a device may never end.
bool names_regular_file(const char* name) {
  struct stat status;
  return ::stat(name, &status) == 0 && S_ISREG(status.st_mode);
}

// What one of the two loads came to.
struct Load {
  std::optional<Matrix> matrix;
  std::optional<Failure> failure;
};

bool ran_out_of_memory(const Load& load) {
  return load.failure && load.failure->kind == FailureKind::out_of_memory;
}

// Reads a whole matrix from `in` into `load`, catching its failures.
void load_into(Input& in, Load& load, const Compute& compute) {
  DeferFailures defer;
  try {
    Shape shape = read_shape(in, /*prompts=*/false);
    load.matrix = matrix_create(shape.rows, shape.cols);
    read_elements(in, *load.matrix, /*prompts=*/false, compute);
  } catch (const Failure& f) {
    load.matrix.reset();
    load.failure = f;
  } catch (const std::bad_alloc&) {
    load.matrix.reset();
    load.failure = out_of_memory_failure();
  } catch (const Abandoned&) {
    load.matrix.reset();
  }
}

// Reads the matrix of `fd`, which it closes once the matrix is read.
Matrix read_file(int fd, const char* operand, const Compute& compute) {
  Input file(fd, /*interactive=*/false, /*sole_reader=*/true);
  file.name = operand;
  return matrix_read(file, /*prompts=*/false, compute);
}

// Reads the two files at once, one a thread, with the outcome of reading them
// in turn: the first's failure ends the second's reading at its next buffer
// and is reported first. Reading at once takes more memory than in turn, so
// where it runs short, what ran short is read again in turn: nothing when the
// first did (all that was taken is released first), or else the second.
std::optional<std::pair<Matrix, Matrix>> load_at_once(int first_fd, int second_fd,
                                                      const char* second_name,
                                                      const Compute& compute) {
  Load loads[2];
  {
    Input first(first_fd, /*interactive=*/false, /*sole_reader=*/true);
    first.name = kFirstOperand;
    Input second(second_fd, /*interactive=*/false, /*sole_reader=*/true);
    second.name = kSecondOperand;
    std::atomic<bool> abandon{false};
    second.abandon = &abandon;
    parallel_for(2, [&](std::size_t i) {
      if (i == 0) {
        load_into(first, loads[0], compute);
        if (loads[0].failure) abandon = true;
      } else {
        load_into(second, loads[1], compute);
      }
    });
  }
  if (ran_out_of_memory(loads[0])) return std::nullopt;
  if (loads[0].failure) fail(*loads[0].failure);
  if (ran_out_of_memory(loads[1])) {
    loads[1] = {};
    return std::pair{std::move(*loads[0].matrix), load_file(second_name, kSecondOperand, compute)};
  }
  if (loads[1].failure) fail(*loads[1].failure);
  return std::pair{std::move(*loads[0].matrix), std::move(*loads[1].matrix)};
}

}  // namespace

Matrix load_file(const char* name, const char* operand, const Compute& compute) {
  int fd = open_file(name);
  if (fd < 0) die("Error opening file");
  return read_file(fd, operand, compute);
}

// The two files are read at once only when both are regular files, whose
// reading always ends and gives the same text whenever it happens, and when
// the budget has room at all: a failure on another thread is handed back as
// an exception, which itself needs memory.
std::pair<Matrix, Matrix> load_two_files(const char* first_name, const char* second_name,
                                         const Compute& compute) {
  int first_fd = open_file(first_name);
  if (first_fd < 0) die("Error opening file");
  if (compute.threads > 1 && memory_budget() > 0 && is_regular(first_fd) &&
      names_regular_file(second_name)) {
    // Out of descriptors (or anything else) now: the second is opened in its
    // turn, after the first is closed.
    const int second_fd = open_file(second_name);
    if (second_fd >= 0) {
      if (auto both = load_at_once(first_fd, second_fd, second_name, compute)) {
        return std::move(*both);
      }
      first_fd = open_file(first_name);
      if (first_fd < 0) die("Error opening file");
    }
  }
  Matrix a = read_file(first_fd, kFirstOperand, compute);
  return {std::move(a), load_file(second_name, kSecondOperand, compute)};
}

}  // namespace quolvend
