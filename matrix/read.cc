#include "matrix/read.h"

#include <charconv>
#include <string_view>

#include "matrix/output.h"

namespace quolvend {
namespace {

[[noreturn]] void unexpected_end() { die("Unexpected end of input"); }

void prompt(const Input& in, std::string_view text) {
  if (in.interactive) out_write(text);
}

std::uint32_t read_count(Input& in, std::string_view ask, std::string_view retry) {
  prompt(in, ask);
  std::uint32_t value;
  for (;;) {
    Scan scan = scan_count(in, value);
    if (scan == Scan::value) return value;
    if (scan == Scan::end || !skip_token(in)) unexpected_end();
    prompt(in, retry);
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

Matrix matrix_read(Input& in) {
  std::uint32_t rows = read_count(in, "Rows: ", "Invalid input. Rows: ");
  std::uint32_t cols = read_count(in, "Columns: ", "Invalid input. Columns: ");
  Matrix m = matrix_create(rows, cols);
  for (std::uint32_t r = 0; r < rows; ++r) {
    float* row = m.data[r];
    for (std::uint32_t c = 0; c < cols; ++c) {
      if (in.interactive) element_prompt("Value for ", r, ",", c);
      for (;;) {
        Scan scan = scan_float(in, row[c]);
        if (scan == Scan::value) break;
        if (scan == Scan::end || !skip_token(in)) unexpected_end();
        if (in.interactive) element_prompt("Invalid input. Value for ", r, ", ", c);
      }
    }
  }
  return m;
}

}  // namespace quolvend
