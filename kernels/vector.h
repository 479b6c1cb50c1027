// The kernels' vectors: GCC and clang vector types, which each instruction
// set lowers to its own registers, and unaligned loads and stores of them.
#pragma once

#include <cstddef>
#include <cstring>

namespace quolvend {

// A vector of kBytes / sizeof(T) elements of T, the kernels' registers: 16
// bytes for SSE and NEON, 32 for AVX2, 64 for AVX-512.
// (Spelled out size by size: GCC drops vector_size from an alias template.)
template <typename T, std::size_t kBytes>
struct VectorOf;
template <>
struct VectorOf<float, 16> {
  using type = float __attribute__((vector_size(16)));
};
template <>
struct VectorOf<float, 32> {
  using type = float __attribute__((vector_size(32)));
};
template <>
struct VectorOf<float, 64> {
  using type = float __attribute__((vector_size(64)));
};
template <>
struct VectorOf<double, 16> {
  using type = double __attribute__((vector_size(16)));
};
template <>
struct VectorOf<double, 32> {
  using type = double __attribute__((vector_size(32)));
};
template <>
struct VectorOf<double, 64> {
  using type = double __attribute__((vector_size(64)));
};
template <typename T, std::size_t kBytes>
using Vector = typename VectorOf<T, kBytes>::type;

// Loads and stores through memcpy assume no more alignment than an element's.
template <typename V, typename T>
[[gnu::always_inline]] inline void load_vec(V& v, const T* p) {
  std::memcpy(&v, p, sizeof v);
}
template <typename V, typename T>
[[gnu::always_inline]] inline void store_vec(T* p, const V& v) {
  std::memcpy(p, &v, sizeof v);
}

}  // namespace quolvend
