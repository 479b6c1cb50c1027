#include "matrix/read.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "matrix/bulk_numbers.h"
#include "matrix/number_grammar.h"
#include "matrix/scan.h"
#include "process/exits.h"
#include "process/output.h"
#include "process/parallel.h"

namespace quolvend {
namespace {

// The stream ended where a count was due.
[[noreturn]] void ended_before(const Input& in, std::string_view count) {
  die("Unexpected end of input: " + in.name + " ends before the " + std::string(count));
}

// The stream ended after `read` of the values of a rows x cols matrix.
[[noreturn]] void ended_after(const Input& in, std::uint64_t read, std::uint32_t rows,
                              std::uint32_t cols) {
  die("Unexpected end of input: " + in.name + " holds " + std::to_string(read) + " of the " +
      std::to_string(std::uint64_t{rows} * cols) + " values of a " + std::to_string(rows) + " x " +
      std::to_string(cols) + " matrix");
}

// What one thread gets through: about a number in 20 nanoseconds.
constexpr Rate kReadRate{1, 20};

std::uint32_t read_count(Input& in, bool prompts, std::string_view ask, std::string_view retry,
                         std::string_view what) {
  if (prompts) out_write(ask);
  std::uint32_t value;
  for (;;) {
    Scan scan = scan_count(in, value);
    if (scan == Scan::value) return value;
    if (scan == Scan::end || !skip_token(in)) ended_before(in, what);
    if (prompts) out_write(retry);
  }
}

// Reads one element as scan_float, discarding tokens that do not convert.
// Returns false when the stream ends first.
bool read_element(Input& in, float& element) {
  for (;;) {
    Scan scan = scan_float(in, element);
    if (scan == Scan::value) return true;
    if (scan == Scan::end || !skip_token(in)) return false;
  }
}

// The text of the buffer that surely holds whole words: up to its last white
// space, or all of it once the stream has ended. Empty when one word fills
// the buffer, or a broken token is pending.
const char* whole_words_end(Input& in) {
  const char* text = in.buffer.get() + in.pos;
  const char* end = in.buffer.get() + in.end;
  if (in.broken_token) return text;
  if (in.exhausted) return end;
  const char* const last = end;
  while (end > text && !is_space(end[-1])) --end;
  in.looked_back += static_cast<std::uint64_t>(last - end);
  return end > text ? end - 1 : text;
}

// Whether the next unread byte ends a word: white space, or the stream's end.
bool at_word_end(const Input& in) {
  return in.pos < in.end ? is_space(in.buffer[in.pos]) : in.exhausted;
}

// Cuts [text, end) at white space into `parts` pieces: piece t is [cut[t],
// cut[t + 1]), and every cut but the first lies on white space.
void cut_text(const char* text, const char* end, std::size_t parts, const char** cut) {
  cut[0] = text;
  for (std::size_t t = 1; t < parts; ++t) {
    const char* at =
        std::max(cut[t - 1], text + split_point(static_cast<std::size_t>(end - text), parts, t));
    while (at < end && !is_space(*at)) ++at;
    cut[t] = at;
  }
  cut[parts] = end;
}

// Reads `count` elements into `out`, a buffer's worth of text at a time.
// With one part, its numbers go straight into place. With more, the text is
// cut at white space into one piece per part, the pieces are converted at
// once, each into a list of its own, and the lists go into place in order:
// every word lies whole in one piece, and a word's numbers do not depend on
// what precedes it, so the numbers come out as a sequential read gives them.
// Only a sole reader reads ahead; any other reads more only when a number
// needs it, so that whatever follows the matrix stays unread.
// Returns how many it read: fewer only when the stream ended first.
std::size_t read_bulk(Input& in, float* out, std::size_t count, std::size_t parts,
                      InstructionSet kernels) {
  const std::size_t wanted = count;
  std::vector<std::unique_ptr<float[]>> lists(parts);
  std::vector<std::size_t> room(parts, 0), taken(parts, 0);
  std::vector<const char*> cut(parts + 1);
  while (count > 0) {
    if (in.sole_reader && !in.exhausted && in.end - in.pos < in.capacity / 2) read_more(in);
    const char* text = in.buffer.get() + in.pos;
    const char* end = whole_words_end(in);
    if (end == text) {
      // One word fills the buffer, or more must be read: its numbers the slow
      // way, to the word's end. (Looking back for white space after each one
      // would cost the buffer's length a number.)
      do {
        if (!read_element(in, *out++)) return wanted - count;
        --count;
      } while (count > 0 && !at_word_end(in));
      continue;
    }
    if (parts == 1 || static_cast<std::size_t>(end - text) < in.capacity / 4) {
      Converted done = convert_numbers(text, end, out, count, kernels);
      out += done.count;
      count -= done.count;
      in.pos = static_cast<std::size_t>(done.stop - in.buffer.get());
      continue;
    }
    cut_text(text, end, parts, cut.data());
    parallel_for(parts, [&](std::size_t t) {
      // Every number takes at least two bytes with the white space or junk
      // before the next, so a piece holds at most half its length plus one.
      const std::size_t most = static_cast<std::size_t>(cut[t + 1] - cut[t]) / 2 + 1;
      if (room[t] < most) {
        lists[t].reset(new float[most]);
        room[t] = most;
      }
      taken[t] = convert_numbers(cut[t], cut[t + 1], lists[t].get(), most, kernels).count;
    });
    // The numbers go to their places in parallel too: the first writes of the
    // matrix's fresh pages are much of the work.
    std::vector<std::size_t> first(parts + 1, 0);
    for (std::size_t t = 0; t < parts; ++t) {
      first[t + 1] = first[t] + std::min(count - first[t], taken[t]);
    }
    parallel_for(parts, [&](std::size_t t) {
      std::copy_n(lists[t].get(), first[t + 1] - first[t], out + first[t]);
    });
    out += first[parts];
    count -= first[parts];
    in.pos = static_cast<std::size_t>(end - in.buffer.get());
  }
  return wanted;
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
  shape.rows = read_count(in, prompts, "Rows: ", "Invalid input. Rows: ", "row count");
  shape.cols = read_count(in, prompts, "Columns: ", "Invalid input. Columns: ", "column count");
  return shape;
}

Matrix matrix_read(Input& in, bool prompts, const Compute& compute) {
  Shape shape = read_shape(in, prompts);
  Matrix m = matrix_create(shape.rows, shape.cols);
  read_elements(in, m, prompts, compute);
  return m;
}

void read_elements(Input& in, Matrix& m, bool prompts, const Compute& compute) {
  const std::uint32_t rows = m.rows, cols = m.cols;
  if (!prompts) {
    const std::size_t parts =
        in.sole_reader ? split_parts(compute.threads, matrix_size(m), kReadRate, kMaxThreads) : 1;
    const std::size_t read =
        read_bulk(in, m.storage.get(), matrix_size(m), parts, compute.instruction_set);
    if (read < matrix_size(m)) ended_after(in, read, rows, cols);
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
        if (scan == Scan::end || !skip_token(in)) {
          ended_after(in, std::uint64_t{r} * cols + c, rows, cols);
        }
        element_prompt("Invalid input. Value for ", r, ", ", c);
      }
    }
  }
}

}  // namespace quolvend
