// Huffman codes as the RAR 2.9 decoder builds them: length-limited code lengths from symbol
// counts, canonical code values (shorter codes first, within one length in symbol order), and the
// table of code lengths itself, coded through its own 20-symbol code.
#pragma once
#include <cstdint>
#include <vector>

#include "standins/rar29_encoder/bit_writer.h"

namespace rar29enc {

constexpr int kMaxCodeBits = 15;

class HuffmanCode {
 public:
  // Lengths of at most `max_bits` for `counts`. Every table gets at least two codes, so the code
  // is complete even for a block that uses one symbol or none: peer decoders refuse some
  // incomplete or empty tables.
  static std::vector<uint8_t> Lengths(std::vector<uint32_t> counts, int max_bits = kMaxCodeBits);

  explicit HuffmanCode(std::vector<uint8_t> lengths);
  const std::vector<uint8_t>& lengths() const { return lengths_; }
  void Put(BitWriter& out, uint32_t symbol) const { out.Put(codes_[symbol], lengths_[symbol]); }

 private:
  std::vector<uint8_t> lengths_;
  std::vector<uint16_t> codes_;
};

// Writes the code lengths of a new LZ block's four tables (main, distance, low distance, repeat
// length: 404 lengths) as fresh lengths, not as changes to the previous block's. The 2-bit block
// header (LZ, fresh) comes first; the writer must be on a byte boundary.
void WriteTableLengths(BitWriter& out, const std::vector<uint8_t>& lengths);

}  // namespace rar29enc
