// Buffered reading of one input stream, and the number conversions of the
// matrix text format.
//
// Text is a sequence of tokens separated by white space. Each conversion skips
// white space, then consumes the longest prefix of the next token that forms a
// number and leaves the rest of the token unread; if no prefix forms a number
// it consumes nothing, and the caller discards the token with skip_token. The
// prefixes are those strtoul (base 10), strtof and strtol (base 0) accept.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace quolvend {

inline constexpr std::size_t kInputCapacity = std::size_t{1} << 18;

// One stream's buffer. Standard input has exactly one, shared by every read
// from it, so nothing typed ahead is lost between reads.
struct Input {
  // Reads from `fd`. An interactive input (the process's standard input) gets
  // prompts, and standard output is flushed before each wait on it. When
  // `sole_reader`, nothing else will ever read `fd`: this Input closes it, and
  // may read ahead past the matrix (so large text converts in parallel).
  Input(int fd, bool interactive, bool sole_reader, std::size_t capacity = kInputCapacity);
  ~Input();
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;

  int fd;
  bool interactive;
  bool sole_reader;
  std::size_t capacity;
  std::unique_ptr<char[]> buffer;  // capacity + 1 bytes; buffer[end] is always '\0'
  std::size_t pos = 0;             // next unread byte
  std::size_t end = 0;             // end of the bytes read so far
  bool exhausted = false;          // end of file has been seen
  bool at_start = true;            // nothing read yet: a byte-order mark may come
  // The rest of the current token is known not to start a number (set only
  // after a number spelled over more than a buffer's length).
  bool broken_token = false;
  // When set and true, the next read of the descriptor throws Abandoned
  // instead: another thread no longer needs what this input holds.
  const std::atomic<bool>* abandon = nullptr;
};

// Thrown by a read of an Input whose reading has been abandoned.
struct Abandoned {};

enum class Scan {
  value,     // a number converted
  mismatch,  // the next token does not start with a number; nothing consumed
  end,       // the stream ended before any token
};

// "%u": optional sign, decimal digits. Values wrap as strtoul's result stored
// in 32 bits does: a leading minus wraps modulo 2^32, overflow gives 2^32 - 1.
Scan scan_count(Input& in, std::uint32_t& value);

// "%f": the longest prefix strtof accepts (decimal, hexadecimal, inf, nan).
Scan scan_float(Input& in, float& value);

// "%i": optional sign, then hexadecimal after 0x, octal after a leading 0, or
// decimal. The value saturates at +-2^62, so anything outside 32 bits stays
// outside.
Scan scan_integer(Input& in, std::int64_t& value);

// "%*s": discards the next token. Returns false when the stream has ended.
bool skip_token(Input& in);

// Reads more bytes into the buffer, moving the unread ones to its front first,
// and skips a UTF-8 byte-order mark at the very start of the stream. Returns
// false when nothing more came: the stream has ended, or the buffer is full of
// one unread token. A read error ends the process with "Error reading input".
bool read_more(Input& in);

// Returns the byte `ahead` positions past the next unread one (ahead < 16),
// reading more only when needed, or -1 when the stream ends first.
inline int peek(Input& in, std::size_t ahead) {
  while (in.pos + ahead >= in.end) {
    if (!read_more(in)) return -1;
  }
  return static_cast<unsigned char>(in.buffer[in.pos + ahead]);
}

// Consumes `count` bytes, all of which peek has already seen.
inline void consume(Input& in, std::size_t count) { in.pos += count; }

// Tells whether c is white space in the C locale.
inline bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

inline bool is_digit(int c) { return c >= '0' && c <= '9'; }

// The character classes of the number grammar, shared by every reader of it.
inline bool is_hex_digit(int c) {
  return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
// c is the letter `lower` in either case ("inf", "nan", the exponent markers).
inline bool is_letter(int c, char lower) { return c == lower || c == lower - ('a' - 'A'); }
// A character of the name in "nan(name)".
inline bool is_nan_name_char(int c) {
  return c == '_' || is_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Appends to `out` every number of the text [p, end), as scan_float repeated
// over it would, with skip_token after each mismatch. *end must be white space
// or '\0'. The text holds no number longer than the buffer.
void convert_all(const char* p, const char* end, std::vector<float>& out);

}  // namespace quolvend
