#include "matrix/load.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <new>
#include <optional>

#include "matrix/read.h"
#include "process/exits.h"
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
  std::optional<Shape> unmade;  // the counts, when making the matrix ran out of memory
};

// Reads a whole matrix from `in` into `load`, catching its failures.
void load_into(Input& in, Load& load) {
  DeferFailures defer;
  try {
    Shape shape = read_shape(in, /*prompts=*/false);
    try {
      load.matrix = matrix_create(shape.rows, shape.cols);
    } catch (const Failure& f) {
      if (f.kind == FailureKind::out_of_memory) load.unmade = shape;
      throw;
    }
    read_elements(in, *load.matrix, /*prompts=*/false);
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

}  // namespace

Matrix load_file(const char* name, const char* operand) {
  int fd = open_file(name);
  if (fd < 0) die("Error opening file");
  Input file(fd, /*interactive=*/false, /*sole_reader=*/true);
  file.name = operand;
  return matrix_read(file, /*prompts=*/false);
}

// The two files are read at once only when both are regular files, whose
// reading always ends and gives the same text whenever it happens. Then the
// first's failure ends the second's reading at its next buffer, and is
// reported as it would be in turn.
std::pair<Matrix, Matrix> load_two_files(const char* first_name, const char* second_name) {
  int first_fd = open_file(first_name);
  if (first_fd < 0) die("Error opening file");
  Input first(first_fd, /*interactive=*/false, /*sole_reader=*/true);
  first.name = kFirstOperand;
  int second_fd = -1;
  if (thread_count() > 1 && is_regular(first_fd) && names_regular_file(second_name)) {
    // Out of descriptors (or anything else) now: the second is opened in its
    // turn, after the first is closed.
    second_fd = open_file(second_name);
  }
  if (second_fd < 0) {
    Matrix a = matrix_read(first, /*prompts=*/false);
    ::close(first.fd);
    first.fd = -1;
    return {std::move(a), load_file(second_name, kSecondOperand)};
  }
  Input second(second_fd, /*interactive=*/false, /*sole_reader=*/true);
  second.name = kSecondOperand;
  std::atomic<bool> abandon{false};
  second.abandon = &abandon;
  Load loads[2];
  parallel_for(2, [&](std::size_t i) {
    if (i == 0) {
      load_into(first, loads[0]);
      if (loads[0].failure) abandon = true;
    } else {
      load_into(second, loads[1]);
    }
  });
  if (loads[0].unmade && !loads[1].failure) {
    // The first may not have fitted beside the second. In turn, the first
    // would have been made and read, and the second then found no room.
    loads[1] = {};
    Matrix a = matrix_create(loads[0].unmade->rows, loads[0].unmade->cols);
    read_elements(first, a, /*prompts=*/false);
    out_of_memory();
  }
  if (loads[0].failure) fail(*loads[0].failure);
  if (loads[1].failure) fail(*loads[1].failure);
  return {std::move(*loads[0].matrix), std::move(*loads[1].matrix)};
}

}  // namespace quolvend
