#include "tests/corpus.h"

#include <cstdio>

#include "tests/odd_tokens.h"
#include "tests/test_util.h"

namespace quolvend::testing {

std::string bulk_edge(std::mt19937& rng) {
  std::uniform_int_distribution<int> pick(0, 99);
  static const char* const kFixed[] = {"16777216",
                                       "16777217",
                                       "16777218",
                                       "1677721.7",
                                       "0.16777217",
                                       "16777.216",
                                       "0.000000059604644775390625",
                                       "1.00000006",
                                       "8388608.5",
                                       "8388609.5",
                                       "0.30000001",
                                       "1e10",
                                       "1e11",
                                       "1e-10",
                                       "1e-11",
                                       "3.4e38",
                                       "1.17549435e-38",
                                       "1.4e-45",
                                       "7e-46",
                                       "+0.5",
                                       "+12.",
                                       "-.25",
                                       "00000001.5",
                                       "1.50000000",
                                       "123456789",
                                       "-1234567.8"};
  if (pick(rng) < 30) return kFixed[static_cast<std::size_t>(pick(rng)) % std::size(kFixed)];
  static const char* const kSigns[] = {"", "", "-", "+"};
  std::string word = kSigns[pick(rng) % 4];
  const int count = 1 + pick(rng) % 17;
  const int point = pick(rng) % (count + 2) - 1;  // -1: no point
  for (int k = 0; k < count; ++k) {
    if (k == point) word += '.';
    word += static_cast<char>('0' + pick(rng) % 10);
  }
  if (point == count) word += '.';
  if (pick(rng) < 10) {
    word += 'e';
    word += std::to_string(pick(rng) % 25 - 12);
  }
  return word;
}

std::string corpus(std::mt19937& rng, int tokens) {
  const auto& kOdd = kOddTokens;
  std::string text;
  std::uniform_int_distribution<int> pick(0, 99);
  char buffer[64];
  for (int i = 0; i < tokens; ++i) {
    int p = pick(rng);
    float f = random_element(rng, Mix::special_values);
    if (p < 30) {
      static const char* const kFormats[] = {"%g", "%.9g", "%e", "%.3f", "%a", "%.1e", "%.20g"};
      std::snprintf(buffer, sizeof buffer, kFormats[pick(rng) % 7], static_cast<double>(f));
      text += buffer;
    } else if (p < 40) {
      text += std::to_string(std::uniform_int_distribution<long long>(-100000, 100000)(rng));
    } else if (p < 70) {
      text += kOdd[static_cast<std::size_t>(pick(rng)) % std::size(kOdd)];
    } else if (p < 80) {
      text += bulk_edge(rng);
    } else if (p < 85) {
      int length = 1 + pick(rng) % 12;
      for (int k = 0; k < length; ++k) {
        text += static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
      }
    } else {
      // Long spellings: many digits, long fractions, long hexadecimal, nan(...).
      int length = 20 + pick(rng) * 3;
      static const char* const kStarts[] = {"", "-", "0.", "0x", "1.", "nan(", "-0x0.", "."};
      text += kStarts[pick(rng) % 8];
      const char* digits = pick(rng) < 50 ? "0123456789" : "0000000001";
      for (int k = 0; k < length; ++k) text += digits[pick(rng) % 10];
      static const char* const kEnds[] = {"", "e-40", "e+30", ")", ")7", "p-100", "x", "e"};
      text += kEnds[pick(rng) % 8];
    }
    static const char* const kSpaces[] = {" ", "\n", "\t", "  ", "\r\n", "\v", "\f", ""};
    text += kSpaces[pick(rng) % 8];
  }
  return text;
}

}  // namespace quolvend::testing
