// Tokens a matrix text may hold that are not one plain number: words packed
// with several numbers, partial spellings, junk, boundaries of the
// conversions. Shared by the tests that feed such text to the program.
#pragma once

#include <cstddef>

namespace quolvend::testing {

// clang-format off
inline constexpr const char* kOddTokens[] = {
    "1.5.5", "-1-1-1", "2e", "x", "+-3", "0x1.8p1x", "nan(12)", "infinity", "INF", ".5.5.5",
    "1e+2e3", "--", "0x", "7f", "1,5", "-", "+", "in", "inx", "+-1", ".e1", ".", "1e", "1e+",
    "1e-", "0x1p", "0x.", "0x.8p1", "0X1P-3", "0x1.8p+1x", "-0x", "infinit", "INFINITY",
    "-inf", "+Inf", "nan", "NaN(abc_9)x", "nan(", "nan(1", "nan()", "nan(a b)", "-nan", "3x",
    "1.", "-.5", "..5", "1e5000", "-1e-5000", "007", "08", "0x7fffffff", "-0", "+0", "0e0",
    "1E+05", "3.4028235e38", "3.4028236e38", "3.40282357e38", "1e-45", "7e-46", "1.4e-45",
    "1e-38", "1.1754942e-38", "16777217", "16777216.5", "4294967295", "4294967296",
    "-4294967295", "18446744073709551615", "18446744073709551616", "-18446744073709551616",
    "9223372036854775807", "-9223372036854775809", "2147483648", "-2147483649", "0x80000000",
    "017777777777", "\x80\xff", "1\xc3\xa9", "\x01", "1_000"
};
// clang-format on

// The golden checksums were made from the first kGoldenOddTokens entries; they
// must keep their order.
inline constexpr std::size_t kGoldenOddTokens = 15;

}  // namespace quolvend::testing
