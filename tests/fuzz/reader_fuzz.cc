// Differential fuzzing of the reader: whatever the bytes, the fast conversions
// must agree with the plain ones (whole tokens through strtoul, strtof and
// strtol), and stay within bounds doing so.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/scan_trace.h"

using quolvend::testing::Kind;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 60000) return 0;
  // The first byte picks the buffer size and the kinds of conversion.
  static const std::size_t kCapacities[] = {16, 17, 33, 100, 4096};
  static const std::vector<Kind> kPlans[] = {{Kind::floating},
                                             {Kind::count},
                                             {Kind::integer},
                                             {Kind::count, Kind::floating},
                                             {Kind::integer, Kind::floating, Kind::count}};
  std::size_t capacity = kCapacities[data[0] % 5];
  const auto& kinds = kPlans[(data[0] / 5) % 5];
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  int steps = static_cast<int>(text.size()) + 2;
  if (quolvend::testing::fast_trace(text, kinds, steps, capacity) !=
      quolvend::testing::plain_trace(text, kinds, steps)) {
    std::abort();
  }
  // The bulk reader of a matrix's elements, on every float the text holds.
  const std::string floats = quolvend::testing::plain_floats(text);
  const auto count = static_cast<std::size_t>(std::count(floats.begin(), floats.end(), ' '));
  if (count > 0 && quolvend::testing::bulk_floats(text, count, capacity, 1) != floats) std::abort();
  return 0;
}
