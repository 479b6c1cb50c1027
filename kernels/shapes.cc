#include "kernels/shapes.h"

#include <iterator>

namespace quolvend {
namespace {

template <InstructionSet kSet>
TileShape tile_of(unsigned index) {
  const auto& tiles = SetShapes<kSet>::kTiles;
  return index < std::size(tiles) ? tiles[index] : tiles[0];
}

template <InstructionSet kSet>
std::size_t vector_bytes() {
  return SetShapes<kSet>::kVectorBytes;
}

// The processors whose best tile is not their set's first, and why, as
// measured (the tile alone over a packed block, against the limit of
// separate vector multiplies and adds). Every other processor takes the
// first: 6 x 4 vectors with AVX-512 ran at 0.93 of the limit on an Intel
// Xeon, and 0.90 to 0.94 on an AMD Zen 5.
struct FamilyTile {
  ProcessorId::Vendor vendor;
  unsigned family;
  InstructionSet set;
  unsigned tile;
};
constexpr FamilyTile kFamilyTiles[] = {
    // AMD Zen 4 (family 19h; its Zen 3 members have no AVX-512) halves each
    // 512-bit operation: 16 rows x 1 vector ran at 1.00 of the limit in float
    // and double, 6 x 4 at 0.82.
    {ProcessorId::Vendor::amd, 0x19, InstructionSet::avx512, 1},
};

}  // namespace

unsigned tile_count(InstructionSet set) {
  switch (set) {
    case InstructionSet::avx512:
      return std::size(SetShapes<InstructionSet::avx512>::kTiles);
    case InstructionSet::avx2:
      return std::size(SetShapes<InstructionSet::avx2>::kTiles);
    case InstructionSet::portable:
      break;
  }
  return std::size(SetShapes<InstructionSet::portable>::kTiles);
}

TileShape tile_shape(InstructionSet set, const Tuning& tuning) {
  switch (set) {
    case InstructionSet::avx512:
      return tile_of<InstructionSet::avx512>(tuning.tile);
    case InstructionSet::avx2:
      return tile_of<InstructionSet::avx2>(tuning.tile);
    case InstructionSet::portable:
      break;
  }
  return tile_of<InstructionSet::portable>(tuning.tile);
}

TileSize tile_size(InstructionSet set, const Tuning& tuning, std::size_t element) {
  std::size_t bytes = vector_bytes<InstructionSet::portable>();
  if (set == InstructionSet::avx512) bytes = vector_bytes<InstructionSet::avx512>();
  if (set == InstructionSet::avx2) bytes = vector_bytes<InstructionSet::avx2>();
  const TileShape tile = tile_shape(set, tuning);
  return {tile.rows, tile.vectors * (bytes / element)};
}

Blocks blocks_for(const Tuning& tuning, TileSize tile, std::size_t element) {
  // Depth: long runs of k between the loads and stores of c, but no longer
  // than 512 nor shorter than 64 whatever the caches say.
  const std::size_t depth =
      std::clamp<std::size_t>(tuning.level1 / 2 / (tile.rows * element), 64, 512) / 16 * 16;
  const std::size_t cols = tuning.level2 / 2 / (depth * element);
  const std::size_t rows = tuning.level3 / 4 / (depth * element);
  return {depth, std::max<std::size_t>(1, cols / tile.cols) * tile.cols,
          std::max<std::size_t>(1, rows / tile.rows) * tile.rows};
}

Tuning tuning_for(InstructionSet set, const Processor& processor) {
  Tuning tuning;
  for (const FamilyTile& entry : kFamilyTiles) {
    if (entry.vendor == processor.id.vendor && entry.family == processor.id.family &&
        entry.set == set)
      tuning.tile = entry.tile;
  }
  if (processor.level1 > 0) tuning.level1 = processor.level1;
  if (processor.level2 > 0) tuning.level2 = processor.level2;
  if (processor.level3 > 0) tuning.level3 = processor.level3;
  return tuning;
}

}  // namespace quolvend
