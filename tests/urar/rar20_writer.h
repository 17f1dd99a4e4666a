// A small RAR 2.0 bit-stream writer for tests: LZ tables with chosen code lengths, literals,
// matches and table switches, plus the bytes the stream decodes to, so that window, solid and
// limit cases can be built exactly where the corpus has no example.
#pragma once
#include <cstdint>
#include <vector>

#include "standins/rar_block_writer.h"

class Rar20Writer {
 public:
  static constexpr uint32_t kMain = 298, kDist = 48, kRepeat = 28;

  // Starts an LZ table set. Every code length table covers main + distance + repeat symbols;
  // `keep_old` codes the lengths as deltas from the previous set.
  void Tables(const std::vector<uint8_t>& lengths, bool keep_old = false) {
    Put(keep_old ? 1 : 0, 2);                // bit 15: audio (no); bit 14: keep the old lengths
    for (int i = 0; i < 19; i++) Put(5, 4);  // level code: 19 symbols of 5 bits, codes = symbols
    for (size_t i = 0; i < lengths.size(); i++) {
      uint8_t base = keep_old ? old_[i] : 0;
      Put((lengths[i] - base) & 15, 5);
    }
    old_ = lengths;
    main_ = Canonical(lengths, 0, kMain);
    dist_ = Canonical(lengths, kMain, kDist);
    repeat_ = Canonical(lengths, kMain + kDist, kRepeat);
  }
  // Lengths where every symbol of each table has one code length.
  static std::vector<uint8_t> Uniform(uint8_t main, uint8_t dist, uint8_t repeat) {
    std::vector<uint8_t> l(kMain, main);
    l.insert(l.end(), kDist, dist);
    l.insert(l.end(), kRepeat, repeat);
    return l;
  }

  void Literal(uint8_t b) {
    Code(main_, b);
    out.push_back(b);
  }
  // A match of `length` bytes at `distance`; the format lengthens far matches by itself.
  void Match(uint32_t length, uint32_t distance) {
    uint32_t coded = length - (distance >= 0x2000) - (distance >= 0x40000);
    uint32_t slot = Slot(kLengthBase, kLengthBits, 28, coded - 3);
    Code(main_, 270 + slot);
    Put(coded - 3 - kLengthBase[slot], kLengthBits[slot]);
    uint32_t dslot = Slot(kDistBase, kDistBits, 48, distance - 1);
    Code(dist_, dslot);
    Put(distance - 1 - kDistBase[dslot], kDistBits[dslot]);
    for (uint32_t i = 0; i < length; i++) out.push_back(out[out.size() - distance]);
  }
  void NewTablesFollow() { Code(main_, 269); }

  // Raw bits, for streams the helpers above cannot express.
  void Bits(uint32_t value, uint32_t bits) { Put(value, bits); }

  // The packed bytes of the entry so far, the last one padded with zero bits; the next entry's
  // packed data start afresh (tables and `out` carry on, as in a solid archive).
  std::vector<uint8_t> TakePacked() {
    std::vector<uint8_t> packed;
    packed.swap(bytes_);
    used_ = 0;
    return packed;
  }

  std::vector<uint8_t> out;  // what the stream decodes to, across solid entries

 private:
  struct Code_ {
    uint32_t code = 0, length = 0;
  };
  static constexpr uint32_t kLengthBase[28] = {0,  1,  2,  3,   4,   5,   6,   7,  8,  10,
                                               12, 14, 16, 20,  24,  28,  32,  40, 48, 56,
                                               64, 80, 96, 112, 128, 160, 192, 224};
  static constexpr uint32_t kLengthBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                               2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
  static constexpr uint32_t kDistBase[48] = {
      0,      1,      2,      3,      4,      6,      8,      12,     16,     24,
      32,     48,     64,     96,     128,    192,    256,    384,    512,    768,
      1024,   1536,   2048,   3072,   4096,   6144,   8192,   12288,  16384,  24576,
      32768,  49152,  65536,  98304,  131072, 196608, 262144, 327680, 393216, 458752,
      524288, 589824, 655360, 720896, 786432, 851968, 917504, 983040};
  static constexpr uint32_t kDistBits[48] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,
                                             5,  5,  6,  6,  7,  7,  8,  8,  9,  9,  10, 10,
                                             11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 16,
                                             16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};

  static uint32_t Slot(const uint32_t* base, const uint32_t* bits, uint32_t n, uint32_t v) {
    for (uint32_t s = n; s-- > 0;)
      if (base[s] <= v && v - base[s] < (1u << bits[s])) return s;
    return 0;
  }
  // Canonical codes: shorter codes first, then in symbol order.
  static std::vector<Code_> Canonical(const std::vector<uint8_t>& lengths, size_t from, size_t n) {
    std::vector<Code_> codes(n);
    uint32_t code = 0;
    for (uint32_t len = 1; len < 16; len++) {
      for (size_t s = 0; s < n; s++)
        if (lengths[from + s] == len) codes[s] = {code++, len};
      code <<= 1;
    }
    return codes;
  }
  void Code(const std::vector<Code_>& table, uint32_t symbol) {
    Put(table[symbol].code, table[symbol].length);
  }
  void Put(uint32_t value, uint32_t bits) {
    for (uint32_t i = bits; i-- > 0;) {
      if (used_ % 8 == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() |= uint8_t(0x80 >> (used_ % 8));
      used_++;
    }
  }

  std::vector<uint8_t> bytes_;
  uint64_t used_ = 0;
  std::vector<uint8_t> old_;
  std::vector<Code_> main_, dist_, repeat_;
};

// A RAR 2.0 file entry of `packed` data decoding to `content`.
inline rarblocks::FileEntry Rar20Entry(const char* name, const std::vector<uint8_t>& packed,
                                       const std::vector<uint8_t>& content, uint16_t flags) {
  rarblocks::FileEntry f;
  f.name = name;
  f.data = packed;
  f.flags = uint16_t(0x8000 | flags);
  f.unp_size_from_data = false;
  f.unp_size = uint32_t(content.size());
  f.crc_from_data = false;
  f.file_crc = rarblocks::Crc32(content);
  f.unp_ver = 20;
  f.method = 0x33;
  return f;
}
