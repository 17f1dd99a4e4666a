// Picks each stretch's coding by what it holds.
#include <algorithm>

#include "standins/rar29_encoder/rar29_encoder.h"

namespace rar29enc {
namespace {

constexpr size_t kChunk = 0x10000;  // the unit of the decision

// Already compressed or random data: plain LZ on three samples (start, middle, end) saves less
// than 3%. Byte statistics alone would also condemn data that repeats all byte values evenly.
bool Incompressible(const uint8_t* data, size_t size) {
  constexpr size_t kSample = 0x8000;
  size_t plain = 0, packed = 0;
  for (size_t at : {size_t{0}, size / 2, size > kSample ? size - kSample : 0}) {
    const size_t length = std::min(kSample, size - at);
    Block lz;
    lz.size = length;
    plain += length;
    packed += Compress(data + at, length, {lz}).size();
  }
  return packed * 100 > plain * 97;
}

BlockKind Kind(const uint8_t* data, size_t size) {
  size_t text = 0, calls = 0;
  for (size_t i = 0; i < size; i++) {
    const uint8_t b = data[i];
    text += (b >= 0x20 && b < 0x7F) || b == '\n' || b == '\r' || b == '\t';
    // A call with a near relative address: its high byte is 0x00 or 0xFF.
    if (b == 0xE8 && i + 4 < size && (data[i + 4] == 0x00 || data[i + 4] == 0xFF)) calls++;
  }
  if (text * 20 >= size * 19) return BlockKind::kPpmd;
  if (calls * 500 >= size) return BlockKind::kLzX86;
  return BlockKind::kLz;
}

// Model memory for a text: about 16 times its size, between 1 and 16 MB.
int PpmdMegabytes(size_t text_size) {
  const size_t megabytes = (text_size * 16 + (1u << 20) - 1) >> 20;
  return int(std::clamp<size_t>(megabytes, 1, 16));
}

}  // namespace

std::vector<Block> ChooseBlocks(const uint8_t* data, size_t size) {
  // Small data are left to the writer, which stores what does not shrink: a sample that small
  // is mostly table overhead.
  if (size == 0 || (size >= 0x1000 && Incompressible(data, size))) return {};
  std::vector<Block> blocks;
  for (size_t at = 0; at < size; at += kChunk) {
    const size_t length = std::min(kChunk, size - at);
    BlockKind kind = Kind(data + at, length);
    // libarchive loses what an LZ block decoded when a PPMd block follows it in the same entry:
    // text after LZ stays LZ.
    if (kind == BlockKind::kPpmd && !blocks.empty() && blocks.back().kind != BlockKind::kPpmd)
      kind = BlockKind::kLz;
    if (!blocks.empty() && blocks.back().kind == kind) {
      blocks.back().size += length;
    } else {
      Block block;
      block.kind = kind;
      block.size = length;
      blocks.push_back(block);
    }
  }
  for (Block& block : blocks)
    if (block.kind == BlockKind::kPpmd) block.ppmd.megabytes = PpmdMegabytes(block.size);
  return blocks;
}

}  // namespace rar29enc
