#include "matrix/read.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <vector>

#include "process/exits.h"
#include "process/output.h"
#include "process/parallel.h"

namespace quolvend {
namespace {

[[noreturn]] void unexpected_end() { die("Unexpected end of input"); }

// About what one number takes to read.
constexpr std::uint64_t kReadNanoseconds = 20;

std::uint32_t read_count(Input& in, bool prompts, std::string_view ask, std::string_view retry) {
  if (prompts) out_write(ask);
  std::uint32_t value;
  for (;;) {
    Scan scan = scan_count(in, value);
    if (scan == Scan::value) return value;
    if (scan == Scan::end || !skip_token(in)) unexpected_end();
    if (prompts) out_write(retry);
  }
}

// Reads one element as scan_float, discarding tokens that do not convert.
void read_element(Input& in, float& element) {
  for (;;) {
    Scan scan = scan_float(in, element);
    if (scan == Scan::value) return;
    if (scan == Scan::end || !skip_token(in)) unexpected_end();
  }
}

// Reads `count` elements into `out`, a buffer's worth of text at a time: the
// text up to its last white space is cut at white space into one piece per
// thread, and the pieces are converted at once. Every word lies whole in one
// piece, and a word's numbers do not depend on what precedes it, so the
// numbers come out as a sequential read gives them.
void read_elements_in_parallel(Input& in, float* out, std::size_t count, std::size_t parts) {
  std::vector<std::vector<float>> numbers(parts);
  while (count > 0) {
    if (in.end - in.pos < in.capacity / 2 && !in.exhausted) read_more(in);
    const char* text = in.buffer.get() + in.pos;
    const char* end = in.buffer.get() + in.end;
    if (!in.exhausted) {
      // Stop at the last white space; the word after it may go on unread.
      while (end > text && !is_space(end[-1])) --end;
      if (end > text) --end;
    }
    if (end == text || in.broken_token) {
      // One word fills the buffer (or the stream is over): its numbers are
      // read one by one, up to the end of the word.
      do {
        read_element(in, *out++);
        --count;
      } while (count > 0 && peek(in, 0) >= 0 && !is_space(peek(in, 0)));
      continue;
    }
    // Piece t is [cut[t], cut[t + 1]); each cut but the last is white space.
    std::vector<const char*> cut(parts + 1, end);
    cut[0] = text;
    for (std::size_t t = 1; t < parts; ++t) {
      const char* at = std::max(cut[t - 1], text + split_point(end - text, parts, t));
      while (at < end && !is_space(*at)) ++at;
      cut[t] = at;
    }
    parallel_for(parts, [&](std::size_t t) {
      // Appended to through a vector of the thread's own: the vectors in
      // `numbers` share cache lines, and every append writes its end.
      std::vector<float> mine;
      mine.swap(numbers[t]);
      mine.clear();
      convert_all(cut[t], cut[t + 1], mine);
      mine.swap(numbers[t]);
    });
    // The numbers go to their places in parallel too: writing the matrix's
    // fresh pages is much of the work.
    std::vector<std::size_t> first(parts + 1, 0);
    for (std::size_t t = 0; t < parts; ++t) {
      first[t + 1] = first[t] + std::min(count - std::min(count, first[t]), numbers[t].size());
    }
    parallel_for(parts, [&](std::size_t t) {
      std::copy_n(numbers[t].begin(), first[t + 1] - first[t], out + first[t]);
    });
    out += first[parts];
    count -= first[parts];
    in.pos = static_cast<std::size_t>(end - in.buffer.get());
  }
}

// Writes an element prompt: `text`, then r and c as signed integers separated
// by `separator`, then ": ".
void element_prompt(std::string_view text, std::uint32_t r, std::string_view separator,
                    std::uint32_t c) {
  char digits[16];
  out_write(text);
  auto end = std::to_chars(digits, digits + sizeof digits, static_cast<std::int32_t>(r)).ptr;
  out_write({digits, end});
  out_write(separator);
  end = std::to_chars(digits, digits + sizeof digits, static_cast<std::int32_t>(c)).ptr;
  out_write({digits, end});
  out_write(": ");
}

}  // namespace

Shape read_shape(Input& in, bool prompts) {
  Shape shape;
  shape.rows = read_count(in, prompts, "Rows: ", "Invalid input. Rows: ");
  shape.cols = read_count(in, prompts, "Columns: ", "Invalid input. Columns: ");
  return shape;
}

Matrix matrix_read(Input& in, bool prompts) {
  Shape shape = read_shape(in, prompts);
  Matrix m = matrix_create(shape.rows, shape.cols);
  read_elements(in, m, prompts);
  return m;
}

void read_elements(Input& in, Matrix& m, bool prompts) {
  const std::uint32_t rows = m.rows, cols = m.cols;
  if (!prompts) {
    const std::size_t parts = split_parts(matrix_size(m) * kReadNanoseconds, kMaxThreads);
    if (in.sole_reader && parts > 1) {
      read_elements_in_parallel(in, m.storage.get(), matrix_size(m), parts);
    } else {
      for (std::size_t i = 0, n = matrix_size(m); i < n; ++i) read_element(in, m.storage[i]);
    }
    return;
  }
  if (cols == 0) return;  // no element to ask for, however many rows
  for (std::uint32_t r = 0; r < rows; ++r) {
    float* row = m.data[r];
    for (std::uint32_t c = 0; c < cols; ++c) {
      element_prompt("Value for ", r, ",", c);
      for (;;) {
        Scan scan = scan_float(in, row[c]);
        if (scan == Scan::value) break;
        if (scan == Scan::end || !skip_token(in)) unexpected_end();
        element_prompt("Invalid input. Value for ", r, ", ", c);
      }
    }
  }
}

}  // namespace quolvend
