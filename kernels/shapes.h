// What each instruction set's kernels are shaped by: one table a set, and the
// sizes every set shares. The tiled engine (algebra/engine.h) keeps a tile of
// kTileRows x kTileVectors vectors of c in registers while a run of k streams
// past: for each k, kTileVectors vectors of b and one broadcast value of a at
// a time, so the tile is as large as the registers allow beside them, enough
// independent sums in flight to keep both add pipes busy.
#pragma once

#include <algorithm>
#include <cstddef>

#include "kernels/instruction_set.h"

namespace quolvend {

template <InstructionSet>
struct KernelShape;

template <>
struct KernelShape<InstructionSet::avx512> {
  static constexpr std::size_t kVectorBytes = 64;
  static constexpr std::size_t kRegisters = 32;
  static constexpr std::size_t kTileRows = 6;
  static constexpr std::size_t kTileVectors = 4;  // 24 sums
};

template <>
struct KernelShape<InstructionSet::avx2> {
  static constexpr std::size_t kVectorBytes = 32;
  static constexpr std::size_t kRegisters = 16;
  static constexpr std::size_t kTileRows = 6;
  static constexpr std::size_t kTileVectors = 2;  // 12 sums
};

// SSE's 16 registers on x86-64, NEON's 32 on arm64.
template <>
struct KernelShape<InstructionSet::portable> {
  static constexpr std::size_t kVectorBytes = 16;
  static constexpr std::size_t kRegisters = kX86 ? 16 : 32;
  static constexpr std::size_t kTileRows = 6;
  static constexpr std::size_t kTileVectors = kX86 ? 2 : 4;
};

// The tile's sums, b's vectors and a's broadcast fit in the registers.
template <InstructionSet kSet>
constexpr bool tile_fits_registers() {
  using S = KernelShape<kSet>;
  return S::kTileRows * S::kTileVectors + S::kTileVectors + 1 <= S::kRegisters;
}
static_assert(tile_fits_registers<InstructionSet::avx512>());
static_assert(tile_fits_registers<InstructionSet::avx2>());
static_assert(tile_fits_registers<InstructionSet::portable>());

// The most rows any set's tile has: a's packing buffer holds that many.
inline constexpr std::size_t kMostTileRows = std::max(
    {KernelShape<InstructionSet::avx512>::kTileRows, KernelShape<InstructionSet::avx2>::kTileRows,
     KernelShape<InstructionSet::portable>::kTileRows});

// The cache blocks, the same for every set: b is packed kBlockDepth values of
// k at a time, in a block of kBlockBytes that stays in the core's level-2
// cache while every row of a thread's band passes over it; a is packed one
// tile's rows at a time (kTileRows x kBlockDepth, in level 1).
inline constexpr std::size_t kBlockDepth = 256;
inline constexpr std::size_t kBlockBytes = std::size_t{512} << 10;

}  // namespace quolvend
