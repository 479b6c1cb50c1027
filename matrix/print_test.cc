#include "matrix/print.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace quolvend {
namespace {

std::string fixed(float x, int decimals) {
  char text[kFixedWidth];
  return std::string(text, format_fixed(text, x, decimals));
}

std::string printf_fixed(float x, int decimals) {
  char text[128];
  std::snprintf(text, sizeof text, "%.*f", decimals, static_cast<double>(x));
  return text;
}

// Random significands under every exponent and both signs, about two million
// floats, and values near the rounding points, exact ties such as 0.0625
// among them.
TEST(FormatFixed, MatchesPrintfOnEveryKindOfFloat) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<std::uint32_t> significand(0, (1u << 23) - 1);
  for (std::uint32_t exponent = 0; exponent < 255; ++exponent) {
    for (std::uint32_t sign : {0u, 1u}) {
      for (int i = 0; i < 4000; ++i) {
        std::uint32_t bits = sign << 31 | exponent << 23 |
                             (i == 0   ? 0
                              : i == 1 ? (1u << 23) - 1
                                       : significand(rng));
        float x;
        std::memcpy(&x, &bits, sizeof x);
        ASSERT_EQ(fixed(x, 3), printf_fixed(x, 3)) << std::hexfloat << x;
        if (i % 16 == 0) {
          ASSERT_EQ(fixed(x, 6), printf_fixed(x, 6)) << std::hexfloat << x;
        }
      }
    }
  }
  for (float range : {1e3f, 5e6f}) {
    std::uniform_real_distribution<float> unit(-range, range);
    for (int i = 0; i < 100000; ++i) {
      float x = std::round(unit(rng) * 16.0f) / 16.0f + (i % 4 == 1 ? 0.0f : unit(rng) * 1e-7f);
      ASSERT_EQ(fixed(x, 3), printf_fixed(x, 3)) << std::hexfloat << x;
    }
  }
}

TEST(FormatFixed, WritesSignedZerosInfinitiesAndUnsignedNan) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(fixed(-0.0f, 3), "-0.000");
  EXPECT_EQ(fixed(-0.0001f, 3), "-0.000");
  EXPECT_EQ(fixed(0.0625f, 3), "0.062");  // ties go to even, as in printf
  EXPECT_EQ(fixed(kInf, 3), "inf");
  EXPECT_EQ(fixed(-kInf, 6), "-inf");
  EXPECT_EQ(fixed(kInf - kInf, 3), "nan");  // this NaN has its sign bit set
  EXPECT_EQ(fixed(-std::numeric_limits<float>::quiet_NaN(), 6), "nan");
  EXPECT_EQ(fixed(std::numeric_limits<float>::max(), 3),
            "340282346638528859811704183484516925440.000");
}

}  // namespace
}  // namespace quolvend
