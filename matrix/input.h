// The byte source: buffered reading of one input stream. The number
// conversions read through it (scan.h), and the matrix format on top of
// them (read.h).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quolvend {

inline constexpr std::size_t kInputCapacity = std::size_t{1} << 18;

// Bytes readable past the end of what a buffer holds, all '\0': the bulk
// conversions load whole words at a time without looking where the text ends.
inline constexpr std::size_t kInputPadding = 64;

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
  // What the stream holds, as messages call it ("the first operand"): the
  // same whatever kind of file it is read from.
  std::string name = "the operand";
  bool interactive;
  bool sole_reader;
  std::size_t capacity;
  // capacity + kInputPadding bytes; buffer[end] onwards is '\0' up to the padding's end.
  std::unique_ptr<char[]> buffer;
  std::size_t pos = 0;     // next unread byte
  std::size_t end = 0;     // end of the bytes read so far
  bool exhausted = false;  // end of file has been seen
  bool at_start = true;    // nothing read yet: a byte-order mark may come
  // The rest of the current token is known not to start a number (set only
  // after a number spelled over more than a buffer's length).
  bool broken_token = false;
  // Bytes the matrix reader has looked back over in search of a word's end:
  // tests hold it to a small multiple of the text, so reading stays linear.
  std::uint64_t looked_back = 0;
  // When set and true, the next read of the descriptor throws Abandoned
  // instead: another thread no longer needs what this input holds.
  const std::atomic<bool>* abandon = nullptr;
};

// Thrown by a read of an Input whose reading has been abandoned.
struct Abandoned {};

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

}  // namespace quolvend
