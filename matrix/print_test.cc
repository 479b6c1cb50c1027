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

TEST(FormatFixed, MatchesPrintfOnEveryKindOfFloat) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<std::uint32_t> bits;
  std::uniform_real_distribution<float> unit(-1000.0f, 1000.0f);
  for (int i = 0; i < 400000; ++i) {
    float x;
    if (i % 2 == 0) {
      std::uint32_t b = bits(rng);
      std::memcpy(&x, &b, sizeof x);
      if (std::isnan(x)) continue;
    } else {
      // Values near the rounding points, including exact ties such as 0.0625.
      x = std::round(unit(rng) * 16.0f) / 16.0f + (i % 4 == 1 ? 0.0f : unit(rng) * 1e-4f);
    }
    for (int decimals : {3, 6}) {
      ASSERT_EQ(fixed(x, decimals), printf_fixed(x, decimals)) << std::hexfloat << x;
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
