// The one generator of random matrix text for the end-to-end tests. Numbers
// come from std::mt19937, whose sequence the language fixes, through integer
// arithmetic only, so a seed gives the same text on every compiler and
// architecture: the committed checksums depend on it, so the sequence of the
// first four kinds must never change.
#pragma once

#include <cstdint>
#include <iterator>
#include <random>
#include <string>

#include "tests/odd_tokens.h"

namespace quolvend::testing {

class MatrixText {
 public:
  explicit MatrixText(std::uint32_t seed) : rng_(seed) {}

  std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(rng_() % n); }

  // A decimal with up to `digits` significant digits and an exponent in
  // [-range, range], either sign.
  std::string decimal(int digits, int range) {
    std::string text = below(2) ? "-" : "";
    std::uint32_t limit = 1;
    for (int i = 0; i < digits; ++i) limit *= 10;
    text += std::to_string(below(limit));
    if (range > 0) {
      text += 'e';
      text += std::to_string(static_cast<int>(below(2 * range + 1)) - range);
    }
    return text;
  }

  std::string special() {
    static const char* const kWords[] = {"0",     "-0",     "inf",      "-inf",    "nan",
                                         "1e30",  "-1e30",  "3e38",     "-3.4e38", "1e-45",
                                         "1e-40", "0x1p-3", "16777217", "0.1",     "-2.5"};
    return kWords[below(std::size(kWords))];
  }

  enum class Kind {
    small,     // -4 to 4
    decimals,  // six digits, exponents to +-6
    special,   // a third special values, the rest short decimals
    odd,       // a fifth odd words (a fixed few), the rest decimals
    mixed,     // -9 to 9, half with three decimals; now and then any odd word before one
  };

  std::string element(Kind kind) {
    switch (kind) {
      case Kind::small:
        return std::to_string(static_cast<int>(below(9)) - 4);
      case Kind::decimals:
        return decimal(6, 6);
      case Kind::special:
        return below(3) == 0 ? special() : decimal(4, 2);
      case Kind::odd:
        return below(5) == 0 ? kOddTokens[below(kGoldenOddTokens)] : decimal(5, 0);
      case Kind::mixed:
        break;
    }
    std::string text;
    if (below(40) == 0) {
      text += kOddTokens[below(std::size(kOddTokens))];
      text += ' ';
    }
    text += std::to_string(static_cast<int>(below(19)) - 9);
    if (below(2) == 0) {
      text += '.';
      text += std::to_string(below(1000));
    }
    return text;
  }

  // The counts, then `elements` elements (all rows x cols unless fewer are
  // asked for, to cut the text short), a row to a line.
  std::string matrix(std::uint32_t rows, std::uint32_t cols, Kind kind,
                     std::uint64_t elements = UINT64_MAX) {
    std::string text = std::to_string(rows) + " " + std::to_string(cols) + "\n";
    std::uint64_t written = 0;
    for (std::uint32_t r = 0; r < rows; ++r) {
      for (std::uint32_t c = 0; c < cols && written < elements; ++c, ++written) {
        text += element(kind);
        text += c + 1 < cols ? ' ' : '\n';
      }
    }
    return text;
  }

 private:
  std::mt19937 rng_;
};

}  // namespace quolvend::testing
