// Helpers that turn the library's values into things tests can state and
// compare.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <random>
#include <string>

#include "kernels/compute.h"
#include "matrix/matrix.h"
#include "tests/descriptor.h"

namespace quolvend::testing {

// A matrix from its rows: make_matrix({{1, 2}, {3, 4}}). All rows have the
// first row's length.
Matrix make_matrix(std::initializer_list<std::initializer_list<float>> rows);

// Equal bit for bit, except that any NaN equals any NaN: a NaN's sign and
// payload are not part of the result (it always prints as nan).
bool same_bits(float a, float b);

::testing::AssertionResult bits_equal(const Matrix& expected, const Matrix& actual);

// Kinds of element for randomised comparisons.
enum class Mix {
  small_integers,    // -4 to 4, so zeros and singular matrices are common
  mixed_magnitudes,  // random significands times 10^-6 to 10^6, either sign
  special_values,    // also +-0, +-inf, NaN, +-1e30, +-3e38, huge and tiny
};
inline constexpr Mix kAllMixes[] = {Mix::small_integers, Mix::mixed_magnitudes,
                                    Mix::special_values};

// A Hilbert matrix, 1 / (i + j + 1) in single precision, its rows shuffled:
// so ill-conditioned that any term taken in another order changes the single-
// precision result too, not only the double working values.
Matrix shuffled_hilbert(std::mt19937& rng, std::uint32_t n);

float random_element(std::mt19937& rng, Mix mix);
Matrix random_matrix(std::mt19937& rng, std::uint32_t rows, std::uint32_t cols, Mix mix);

// A way to compute, for tests whose values every way gives alike: the best
// instruction set this processor has, tuned for it, and two threads.
Compute compute();

// The tuning a run on this processor takes for `set`.
Tuning machine_tuning(InstructionSet set);

// Runs `check` once for each instruction-set variant this processor has, in
// each of the set's tiles (or only the one this processor takes, where
// `every_tile` is false: for kernels the tiles do not shape), with 1, 2, 3 and
// 7 threads, with a description of the setting for its messages.
void for_each_compute(const std::function<void(const Compute&, const std::string&)>& check,
                      bool every_tile = true);

}  // namespace quolvend::testing
