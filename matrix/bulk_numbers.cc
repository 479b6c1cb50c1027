// The bulk reader: convert_numbers over a stretch of text.
//
// Finding a number's end before parsing the next would chain every number to
// the one before it. Instead a slice of text is first classified sixteen
// bytes at a time into white space and not, and its words' bounds listed;
// the words are then converted independently of one another, so that the
// processor works on several at once. A word of the commonest spelling,
// [-+]digits[.digits] with at most 2^24 as its digits, is converted here with
// the digits read sixteen at a time (eight with the portable path) and the
// fast path's one division; every other word goes to the exact paths
// (exact_numbers.h).
#include "matrix/bulk_numbers.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#include "kernels/dispatch.h"
#include "matrix/exact_numbers.h"
#include "matrix/input.h"
#include "matrix/number_grammar.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace quolvend {
namespace {

constexpr bool kLittleEndian = std::endian::native == std::endian::little;
constexpr std::uint64_t kOnes = 0x0101010101010101;

std::uint64_t load8(const char* p) {
  std::uint64_t bytes;
  std::memcpy(&bytes, p, sizeof bytes);
  return bytes;
}

// --- Classifying sixteen bytes ------------------------------------------------

// The sixteen bytes from p: bit i of the result for byte i, where it is white
// space in the C locale (a space, or '\t' to '\r'), or where it is an ASCII
// digit. SSE2 on x86-64 (every such processor has it); elsewhere vectors of
// the compiler's own lowering, their lanes gathered into bits by a
// multiplication (little-endian), or one byte at a time.
struct Classes {
  std::uint32_t space;
  std::uint32_t digit;
};

Classes classify(const char* p) {
#if defined(__SSE2__)
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i control = _mm_sub_epi8(bytes, _mm_set1_epi8('\t'));
  const __m128i space =
      _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')),
                   _mm_cmpeq_epi8(_mm_min_epu8(control, _mm_set1_epi8('\r' - '\t')), control));
  const __m128i digits = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
  const __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(digits, _mm_set1_epi8(9)), digits);
  return {static_cast<std::uint32_t>(_mm_movemask_epi8(space)),
          static_cast<std::uint32_t>(_mm_movemask_epi8(digit))};
#else
  if constexpr (kLittleEndian) {
    using Bytes16 = unsigned char __attribute__((vector_size(16)));
    Bytes16 bytes;
    std::memcpy(&bytes, p, sizeof bytes);
    const Bytes16 weights = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
    auto bits = [&](Bytes16 lanes) {
      lanes &= weights;
      std::uint64_t low, high;
      std::memcpy(&low, &lanes, 8);
      std::memcpy(&high, reinterpret_cast<const char*>(&lanes) + 8, 8);
      return static_cast<std::uint32_t>((low * kOnes) >> 56 | (high * kOnes) >> 56 << 8);
    };
    const Bytes16 space = reinterpret_cast<Bytes16>(bytes == ' ') |
                          reinterpret_cast<Bytes16>(static_cast<Bytes16>(bytes - '\t') < 5);
    const Bytes16 digit = reinterpret_cast<Bytes16>(static_cast<Bytes16>(bytes - '0') < 10);
    return {bits(space), bits(digit)};
  } else {
    Classes classes{0, 0};
    for (int i = 0; i < 16; ++i) {
      classes.space |= std::uint32_t{is_space(p[i])} << i;
      classes.digit |= std::uint32_t{is_digit(p[i])} << i;
    }
    return classes;
  }
#endif
}

// --- The words of a slice ---------------------------------------------------------

// Bytes of text indexed at a time: offsets within fit 16 bits.
constexpr std::size_t kSlice = 4096;
static_assert(kSlice <= 0xFFFF);
// A slice holds at most this many words (one a byte and a space); the lists
// of their bounds have list_bits's eight slots of scratch past them.
constexpr std::size_t kMostWords = kSlice / 2 + 1;
constexpr std::size_t kListSlack = 8;
// find_words classifies whole blocks of 64 bytes, so up to 63 past the text's
// end; convert_common_word sixteen from a word's start.
static_assert(kInputPadding >= 64, "the bytes past a buffer's text are readable");

// Writes at + the position of each set bit of `bits`, lowest first, to out,
// and returns how many. kListSlack at a time whatever their number (the slots
// past it are scratch), so that the loop is almost never mispredicted:
// sixty-four bytes seldom hold more than eight words. out needs kListSlack
// slots past the last.
[[gnu::always_inline]] inline std::size_t list_bits(std::uint64_t bits, std::size_t at,
                                                    std::uint16_t* out) {
  const auto count = static_cast<std::size_t>(std::popcount(bits));
  for (std::size_t done = 0; done < count; done += kListSlack) {
    for (std::size_t i = 0; i < kListSlack; ++i) {
      out[done + i] =
          static_cast<std::uint16_t>(at + static_cast<std::size_t>(std::countr_zero(bits)));
      bits &= bits - 1;
    }
  }
  return count;
}

// The words of [p, end), at most kSlice bytes, which ends at white space or at
// the text's end and is followed by 64 readable bytes: word i is [p +
// begin[i], p + finish[i]). Returns how many there are.
[[gnu::always_inline]] inline std::size_t find_words(const char* p, const char* end,
                                                     std::uint16_t* begin, std::uint16_t* finish) {
  std::size_t words = 0, ends = 0;
  std::uint64_t before = 1;  // the byte before p counts as white space
  const auto length = static_cast<std::size_t>(end - p);
  for (std::size_t at = 0; at < length; at += 64) {
    std::uint64_t space = 0;
    for (int i = 0; i < 4; ++i) space |= std::uint64_t{classify(p + at + 16 * i).space} << (16 * i);
    if (length - at < 64) space |= ~std::uint64_t{0} << (length - at);
    const std::uint64_t shifted = space << 1 | before;
    before = space >> 63;
    words += list_bits(~space & shifted, at, begin + words);
    ends += list_bits(space & ~shifted, at, finish + ends);
  }
  if (ends < words) finish[ends++] = static_cast<std::uint16_t>(length);  // the text's last word
  return words;
}

// --- The commonest spelling ------------------------------------------------------

// The value of the first `count` bytes, all digits, count <= 8: moved to the
// top, '0' below, then eight digits at once, the first the most significant.
std::uint64_t digits_value(std::uint64_t bytes, unsigned count) {
  if (count == 0) return 0;
  std::uint64_t v = bytes << (8 * (8 - count));
  if (count < 8) v |= (kOnes * '0') >> (8 * count);
  v -= kOnes * '0';
  v = v * 10 + (v >> 8);
  return (((v & 0x000000FF000000FF) * 0x000F424000000064) +
          (((v >> 16) & 0x000000FF000000FF) * 0x0000271000000001)) >>
         32;
}

#if defined(__x86_64__)
// For each count of digits before the point (0 to 8) and after it (0 to 8), the
// shuffle that takes the digits out of sixteen bytes, leaving the point out,
// and lines them up at the end, zeros before them.
struct DigitGathers {
  unsigned char mask[9][9][16];
  constexpr DigitGathers() : mask() {
    for (int whole = 0; whole <= 8; ++whole) {
      for (int fraction = 0; fraction <= 8; ++fraction) {
        const int digits = whole + fraction;
        for (int lane = 0; lane < 16; ++lane) {
          const int k = lane - (16 - digits);
          mask[whole][fraction][lane] =
              k < 0 ? 0x80 : static_cast<unsigned char>(k < whole ? k : k + 1);
        }
      }
    }
  }
};
constexpr DigitGathers kGathers;

// The value of the digits of s (whole before a point, fraction after it), all
// sixteen at once: gathered, then paired, fours, eights (SSSE3 and SSE4.1,
// which every processor with AVX2 has).
[[gnu::target("sse4.1")]] inline std::uint64_t gathered_value(const char* s, unsigned whole,
                                                              unsigned fraction) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  const __m128i gather =
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(kGathers.mask[whole][fraction]));
  const __m128i digits = _mm_shuffle_epi8(_mm_sub_epi8(bytes, _mm_set1_epi8('0')), gather);
  const __m128i pairs = _mm_maddubs_epi16(
      digits, _mm_setr_epi8(10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1, 10, 1));
  const __m128i fours = _mm_madd_epi16(pairs, _mm_setr_epi16(100, 1, 100, 1, 100, 1, 100, 1));
  const __m128i eights = _mm_madd_epi16(_mm_packus_epi32(fours, fours),
                                        _mm_setr_epi16(10000, 1, 10000, 1, 10000, 1, 10000, 1));
  return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_cvtsi128_si32(eights))) *
             100000000 +
         static_cast<std::uint32_t>(_mm_extract_epi32(eights, 1));
}
#endif

// Converts the word [p, end) when it is [-+]digits[.digits] with at most eight
// digits on either side of the point and its value takes the fast path, as
// strtof would. Returns false otherwise.
template <InstructionSet kSet>
[[gnu::always_inline]] inline bool convert_common_word(const char* p, const char* end,
                                                       float& value) {
  static constexpr std::uint64_t kPowers[] = {1,      10,      100,      1000,     10000,
                                              100000, 1000000, 10000000, 100000000};
  if constexpr (!kLittleEndian) return false;
  const bool negative = *p == '-';
  const char* s = p + (negative || *p == '+');
  const auto n = static_cast<unsigned>(end - s);
  if (n == 0 || n > 16) return false;
  const std::uint32_t others = ~classify(s).digit & ((1u << n) - 1);
  unsigned whole = n, fraction = 0;
  if (others != 0) {
    whole = static_cast<unsigned>(std::countr_zero(others));
    if ((others & (others - 1)) != 0 || s[whole] != '.') return false;
    fraction = n - 1 - whole;
  }
  if (whole + fraction == 0 || whole > 8 || fraction > 8) return false;
  std::uint64_t w;
#if defined(__x86_64__)
  if constexpr (kSet != InstructionSet::portable) {
    w = gathered_value(s, whole, fraction);
  } else
#endif
  {
    w = digits_value(load8(s), whole) * kPowers[fraction] +
        digits_value(load8(s + whole + 1), fraction);
  }
  float f;
  if (!fast_path(w, -static_cast<int>(fraction), f)) return false;
  // The sign goes on as a bit: a branch on it would be mispredicted half the time.
  value = std::bit_cast<float>(std::bit_cast<std::uint32_t>(f) |
                               static_cast<std::uint32_t>(negative) << 31);
  return true;
}

// The numbers of the word [p, end) one after the other, as scan_float reads
// them, into out: at most `most`. Returns how many, and sets `stop` after the
// last (or to end, when the rest of the word starts no number).
std::size_t convert_word(const char* p, const char* end, float* out, std::size_t most,
                         const char*& stop) {
  std::size_t count = 0;
  while (count < most && p < end) {
    if (const char* next = convert_short_decimal(p, out[count]); next && next <= end) {
      ++count;
      p = next;
      continue;
    }
    NumberSpan span = number_span(p, end);
    if (span.length == 0) {
      p = end;  // the rest of the word starts no number
      break;
    }
    out[count++] = convert_span(p, span);
    p += span.length;
  }
  stop = p;
  return count;
}

// convert_numbers, shaped by the set for its conversion of the commonest
// spelling.
template <InstructionSet kSet>
struct ConvertNumbers {
  static Converted run(const char* p, const char* end, float* out, std::size_t most) {
    // The bounds of a slice's words, on the heap: the main thread's stack may
    // be small.
    const auto bounds =
        std::make_unique_for_overwrite<std::uint16_t[]>(2 * (kMostWords + kListSlack));
    std::uint16_t* begin = bounds.get();
    std::uint16_t* finish = begin + kMostWords + kListSlack;
    std::size_t count = 0;
    while (count < most && p < end) {
      // A slice of at most kSlice bytes, cut at white space.
      const char* cut = end;
      if (end - p > static_cast<std::ptrdiff_t>(kSlice)) {
        cut = p + kSlice;
        while (cut > p && !is_space(*cut)) --cut;
      }
      if (cut == p) {
        // A word of kSlice bytes or more: it alone, slowly.
        while (p < end && is_space(*p)) ++p;
        const char* word_end = p;
        while (word_end < end && !is_space(*word_end)) ++word_end;
        const char* stop;
        count += convert_word(p, word_end, out + count, most - count, stop);
        p = count == most ? stop : word_end;
        continue;
      }
      const std::size_t words = find_words(p, cut, begin, finish);
      for (std::size_t i = 0; i < words; ++i) {
        const char* word = p + begin[i];
        const char* word_end = p + finish[i];
        if (convert_common_word<kSet>(word, word_end, out[count])) {
          if (++count == most) return {word_end, count};
          continue;
        }
        const char* stop;
        count += convert_word(word, word_end, out + count, most - count, stop);
        if (count == most) return {stop, count};
      }
      p = cut;
    }
    return {p, count};
  }
};

}  // namespace

Converted convert_numbers(const char* p, const char* end, float* out, std::size_t most,
                          InstructionSet kernels) {
  if (most == 0) return {p, 0};
  return dispatch<ConvertNumbers>(kernels, p, end, out, most);
}

}  // namespace quolvend
