// What the kernels are shaped by: each instruction set's register tiles, and
// the cache blocks a processor's caches give them.
//
// The tiled engine (algebra/engine.h) keeps a tile of c of `rows` rows by
// `vectors` vectors in registers while a block of k streams past: for each k,
// `vectors` vectors of b and one broadcast value of a for each row. Which tile
// keeps a processor's pipes fullest is the processor's own (Zen 4 runs 512-bit
// operations in two halves and keeps them full only with tall tiles of one
// vector), so each set is built in a short list of tiles and a run's Tuning
// names one. Around the tile, BLIS's blocks: a tile's sliver of a (rows x
// depth) stays in level 1 while b's block (depth x cols) streams from level 2,
// and a's panel (rows x depth) is packed once for every block of b. Neither
// the tile nor the blocks change a result: each element still takes its terms
// in order, through one sum.
#pragma once

#include <algorithm>
#include <cstddef>

#include "kernels/instruction_set.h"

namespace quolvend {

struct TileShape {
  std::size_t rows;
  std::size_t vectors;
};

// Each set's vector width, registers and tiles; the first tile is the default.
template <InstructionSet>
struct SetShapes;

template <>
struct SetShapes<InstructionSet::avx512> {
  static constexpr std::size_t kVectorBytes = 64;
  static constexpr std::size_t kRegisters = 32;
  static constexpr TileShape kTiles[] = {{6, 4}, {16, 1}};
};

template <>
struct SetShapes<InstructionSet::avx2> {
  static constexpr std::size_t kVectorBytes = 32;
  static constexpr std::size_t kRegisters = 16;
  static constexpr TileShape kTiles[] = {{6, 2}};
};

// SSE's 16 registers on x86-64, NEON's 32 on arm64.
template <>
struct SetShapes<InstructionSet::portable> {
  static constexpr std::size_t kVectorBytes = 16;
  static constexpr std::size_t kRegisters = kX86 ? 16 : 32;
  static constexpr TileShape kTiles[] = {{6, kX86 ? std::size_t{2} : std::size_t{4}}};
};

// The tile's sums, b's vectors and a's broadcast fit in the registers.
constexpr bool fits_registers(TileShape tile, std::size_t registers) {
  return tile.rows * tile.vectors + tile.vectors + 1 <= registers;
}
template <InstructionSet kSet>
constexpr bool tiles_fit_registers() {
  for (TileShape tile : SetShapes<kSet>::kTiles) {
    if (!fits_registers(tile, SetShapes<kSet>::kRegisters)) return false;
  }
  return true;
}
static_assert(tiles_fit_registers<InstructionSet::avx512>());
static_assert(tiles_fit_registers<InstructionSet::avx2>());
static_assert(tiles_fit_registers<InstructionSet::portable>());

// How a run's kernels are shaped and blocked, picked once at start for the
// processor (tuning_for) and carried in Compute beside the instruction set.
struct Tuning {
  unsigned tile = 0;  // an index into the set's kTiles
  // The caches, per core (level 3: the core's share of it).
  std::size_t level1 = std::size_t{32} << 10;
  std::size_t level2 = std::size_t{512} << 10;
  std::size_t level3 = std::size_t{2} << 20;
};

// How many tiles `set` is built in.
unsigned tile_count(InstructionSet set);

// The tile a run's kernels use: its set's entry `tuning.tile`, or the set's
// first where there is no such entry.
TileShape tile_shape(InstructionSet set, const Tuning& tuning);

// A tile's size in elements of `element` bytes.
struct TileSize {
  std::size_t rows;
  std::size_t cols;
};
TileSize tile_size(InstructionSet set, const Tuning& tuning, std::size_t element);

// The blocks for tiles of `tile` elements of `element` bytes: k is packed
// `depth` terms at a time, so that a tile's sliver of a fills half of level 1;
// b in blocks of `cols` columns (a multiple of the tile's), half of level 2;
// a in panels of at most `rows` rows (a multiple of the tile's), the other
// half. Each at least one tile.
struct Blocks {
  std::size_t depth;
  std::size_t cols;
  std::size_t rows;
};
Blocks blocks_for(const Tuning& tuning, TileSize tile, std::size_t element);

// What the tables pick by: the processor as it identifies itself, and the
// caches the system reports (0 where it reports none).
struct Processor {
  ProcessorId id;
  std::size_t level1 = 0;
  std::size_t level2 = 0;
  std::size_t level3 = 0;  // the core's share
};

// The tuning for `set` on `processor`: the family's tile where the table names
// one, the set's first otherwise; its caches where it reports them.
Tuning tuning_for(InstructionSet set, const Processor& processor);

}  // namespace quolvend
