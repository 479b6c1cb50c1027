// Generated matrix text for the reader's differential tests.
#pragma once

#include <random>
#include <string>

namespace quolvend::testing {

// A word at the edges of the bulk reader's own conversion: 1 to 17
// significant digits around the point, signs, values at and past 2^24, ties
// between floats, exponents at and past the fast path's reach, subnormals.
std::string bulk_edge(std::mt19937& rng);

// `tokens` generated tokens: plain numbers in many spellings, every odd form
// the conversions distinguish, boundaries, random bytes, and tokens longer
// than small buffers, with every kind of white space between them.
std::string corpus(std::mt19937& rng, int tokens);

}  // namespace quolvend::testing
