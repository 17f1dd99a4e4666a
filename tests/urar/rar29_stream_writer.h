// A tiny RAR 2.9 LZ encoder for hand-made streams: fixed code lengths (every main symbol 9 bits,
// so a symbol's code is its number), literals, short matches, filter definitions and block ends.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "standins/rar_block_writer.h"
#include "urar/rar29/rar29_state.h"

// MSB-first bit packing, as the decoder reads.
struct BitSink {
  std::vector<uint8_t> bytes;
  int bit = 0;
  void Put(uint64_t value, int count) {
    for (int i = count - 1; i >= 0; i--) {
      if (bit == 0) bytes.push_back(0);
      if ((value >> i) & 1) bytes.back() |= uint8_t(0x80 >> bit);
      bit = (bit + 1) & 7;
    }
  }
};

class Rar29StreamWriter {
 public:
  // A solid entry that keeps the tables of the one before starts without any.
  explicit Rar29StreamWriter(bool with_tables = true) {
    if (with_tables) Tables();
  }

  void Bits(uint64_t value, int count) { sink_.Put(value, count); }

  // LZ tables: a 2-bit header (LZ, fresh lengths), 20 bit-length codes of 5 bits, then the
  // lengths of the main (9), distance (6), low-distance (5) and repeat-length (5) tables.
  void Tables() {
    sink_.bit = 0;  // tables start on a byte boundary
    Bits(0, 2);
    for (int i = 0; i < 20; i++) Bits(5, 4);
    for (int i = 0; i < 299; i++) Bits(9, 5);
    for (int i = 0; i < 60; i++) Bits(6, 5);
    for (int i = 0; i < 17 + 28; i++) Bits(5, 5);
  }

  void Literal(uint8_t byte) { Bits(byte, 9); }
  void Literals(const std::string& text) {
    for (char c : text) Literal(uint8_t(c));
  }

  // A match of 3 to 257 bytes (one or two more at distances from 0x2000 and 0x40000, which the
  // format adds) at any distance up to the window's size.
  void Match(uint32_t length, uint32_t distance) {
    static const uint8_t kLengthBase[28] = {0,  1,  2,  3,   4,   5,   6,   7,  8,  10,
                                            12, 14, 16, 20,  24,  28,  32,  40, 48, 56,
                                            64, 80, 96, 112, 128, 160, 192, 224};
    static const uint8_t kLengthBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                            2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
    length -= (distance >= 0x2000) + (distance >= 0x40000);
    uint32_t slot = 27;
    while (kLengthBase[slot] > length - 3) slot--;
    Bits(kRar29SymbolMatch + slot, 9);
    Bits(length - 3 - kLengthBase[slot], kLengthBits[slot]);
    // Distance slots by their count of extra bits, as the format lays them out.
    static const uint8_t kSlotsPerBitCount[19] = {4, 2, 2, 2, 2, 2, 2,  2, 2, 2,
                                                  2, 2, 2, 2, 2, 2, 14, 0, 12};
    uint32_t dist_slot = 0, base = 0, bits = 0;
    for (uint32_t left = kSlotsPerBitCount[0];; dist_slot++, left--) {
      while (left == 0) left = kSlotsPerBitCount[++bits];
      if (distance - 1 < base + (1u << bits)) break;
      base += 1u << bits;
    }
    Bits(dist_slot, 6);
    const uint32_t extra = distance - 1 - base;
    if (dist_slot > 9) {
      if (bits > 4) Bits(extra >> 4, int(bits - 4));
      Bits(extra & 15, 5);  // the low-distance symbol; every code there is 5 bits long
    } else {
      Bits(extra, int(bits));
    }
  }

  // Symbol 257: a flags byte, the definition's size, and its bytes.
  void FilterDefinition(uint8_t flags, const std::vector<uint8_t>& body) {
    Bits(kRar29SymbolFilter, 9);
    size_t size = body.size();
    if (size >= 1 && size <= 6) {
      Bits(flags | (size - 1), 8);
    } else if (size >= 7 && size <= 262) {
      Bits(flags | 6, 8);
      Bits(size - 7, 8);
    } else {
      Bits(flags | 7, 8);
      Bits(size, 16);
    }
    for (uint8_t b : body) Bits(b, 8);
  }

  // End of block that also ends the file; `new_tables` announces tables for the next entry.
  void EndOfFile(bool new_tables = false) {
    Bits(kRar29SymbolEndOfBlock, 9);
    Bits(new_tables ? 1 : 0, 2);
  }

  std::vector<uint8_t> Finish() {
    std::vector<uint8_t> out = sink_.bytes;
    out.insert(out.end(), 8, 0);  // the decoder may look a few bytes ahead of its last symbol
    return out;
  }

 private:
  BitSink sink_;
};

// The bits of a filter definition's body: variable-length numbers and raw bytes.
class FilterDefinitionBits {
 public:
  void Number(uint32_t v) {
    if (v < 16) {
      w_.Put(0, 2), w_.Put(v, 4);
    } else if (v < 256) {
      w_.Put(1, 2), w_.Put(v, 8);
    } else if (v < 0x10000) {
      w_.Put(2, 2), w_.Put(v, 16);
    } else {
      w_.Put(3, 2), w_.Put(v, 32);
    }
  }
  void Byte(uint8_t b) { w_.Put(b, 8); }
  void Bits(uint32_t value, int count) { w_.Put(value, count); }
  const std::vector<uint8_t>& Bytes() const { return w_.bytes; }

 private:
  BitSink w_;
};

// A RAR 2.9 compressed entry holding `packed`, declaring `size` bytes with checksum `crc`.
inline rarblocks::FileEntry Rar29Entry(const std::string& name, const std::vector<uint8_t>& packed,
                                       uint32_t size, uint32_t crc, bool solid = false) {
  rarblocks::FileEntry f;
  f.name = name;
  f.data = packed;
  f.unp_size = size;
  f.unp_size_from_data = false;
  f.file_crc = crc;
  f.crc_from_data = false;
  f.unp_ver = 29;
  f.method = 0x33;
  if (solid) f.flags |= 0x10;
  return f;
}

inline uint32_t CrcOf(const std::string& text) {
  return rarblocks::Crc32(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}
