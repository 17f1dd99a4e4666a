// RAR 2.9 compression of one entry (not solid): a sequence of blocks, each coded as LZ with
// Huffman tables, as LZ over the x86 call filter, or as PPMd, switching between them inside the
// packed data as the format allows. The result is the entry's packed data for a file header
// with UNP_VER 29.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "standins/rar29_encoder/ppmd_encoder.h"

namespace rar29enc {

enum class BlockKind : uint8_t { kLz, kLzX86, kPpmd };

struct Block {
  BlockKind kind = BlockKind::kLz;
  size_t size = 0;
  PpmdBlockStart ppmd;  // kPpmd only
};

// The packed data of `size` bytes coded as `blocks`, whose sizes must add up to `size` (an empty
// plan codes no data). Throws std::invalid_argument for a plan that does not fit the data or
// PPMd settings the header cannot carry, std::bad_alloc when PPMd model memory cannot be had.
std::vector<uint8_t> Compress(const uint8_t* data, size_t size, const std::vector<Block>& blocks);

// Blocks by content: text as PPMd, x86 code as LZ over the E8 filter, the rest as LZ; no PPMd
// block after an LZ one, which libarchive cannot read. Empty when the data look incompressible
// (already compressed or random): such an entry is better stored.
std::vector<Block> ChooseBlocks(const uint8_t* data, size_t size);

}  // namespace rar29enc
