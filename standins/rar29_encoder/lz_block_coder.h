// LZ blocks of RAR 2.9 packed data: literals, matches and filter definitions become symbols of
// the four Huffman tables (main, distance, low distance, repeat length), and a block is written
// as its table lengths, its symbols and an end-of-block code. The coder keeps the decoder's LZ
// state (the four old distances) in step, so it can pick the repeat-distance symbols.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "standins/rar29_encoder/bit_writer.h"

namespace rar29enc {

class LzBlockCoder {
 public:
  void Literal(uint8_t byte);
  // A match; its length must be at least MinMatch(distance), or 2 when `distance` is one of the
  // old distances, and at most kMaxMatch.
  void Match(uint32_t length, uint32_t distance);
  // Symbol 257: a filter definition with its flags byte and body.
  void Filter(uint8_t flags, const std::vector<uint8_t>& body);
  // The old distances, most recent first (0: none yet).
  const uint32_t* old_distances() const { return old_dist_; }
  size_t pending_symbols() const { return items_.size(); }

  enum class End { kNewTables, kEndOfFile };
  // Writes the symbols gathered since the last block as one block: on a byte boundary its table
  // lengths, then the symbols, then the end-of-block code saying what follows.
  void WriteBlock(BitWriter& out, End end);

 private:
  enum Table { kNone, kDistance, kRepeatLength };
  struct Item {
    uint16_t main;
    uint8_t length_bits;
    uint8_t second_table;  // Table: the symbol after the length bits
    uint8_t second_symbol;
    uint8_t raw_bits;    // distance bits sent as they are
    int16_t low_symbol;  // low-distance symbol, -1 for none
    uint32_t length_extra;
    uint32_t raw;
    uint32_t filter;  // index into filters_ for symbol 257
  };

  struct Codes;
  Codes Tables(BitWriter& out) const;

  uint32_t old_dist_[4] = {};
  std::vector<Item> items_;
  std::vector<std::vector<uint8_t>> filters_;  // flags byte, then the body
};

}  // namespace rar29enc
