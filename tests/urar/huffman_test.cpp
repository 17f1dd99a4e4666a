// The table decoder against a direct reading of the canonical code: every 16-bit window of
// input must decode to the same symbol and consume the same bits through the quick lookup as
// through the length-by-length search, for well-formed and malformed length sets alike.
#include "urar/common/huffman.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

struct Decoded {
  uint32_t symbol;
  uint32_t bits;
};

// Reads the code the way the format defines it: codes are assigned in order of length, then
// symbol; a prefix beyond the assigned codes is read as the longest (15 bits) and yields the
// first symbol of the sorted order.
Decoded ReferenceDecode(const std::vector<uint8_t>& lengths, uint32_t field) {
  std::vector<uint32_t> sorted;
  for (uint32_t len = 1; len < 16; len++)
    for (uint32_t s = 0; s < lengths.size(); s++)
      if ((lengths[s] & 15) == len) sorted.push_back(s);
  uint32_t code = 0, index = 0;
  for (uint32_t len = 1; len < 16; len++) {
    uint32_t n = 0;
    for (uint8_t l : lengths) n += (l & 15) == len;
    uint32_t top = (code + n) << (16 - len);  // first field past the codes of this length
    if (len == 15 || (field & 0xFFFE) < (top > 0xFFFF ? 0xFFFF : top)) {
      uint32_t at = index + (((field & 0xFFFE) - (code << (16 - len))) >> (16 - len));
      uint32_t symbol = at < lengths.size() ? (at < sorted.size() ? sorted[at] : 0)
                                            : (sorted.empty() ? 0 : sorted[0]);
      return {symbol, len};
    }
    code = (code + n) << 1;
    index += n;
  }
  return {0, 15};
}

TEST(Huffman, EveryInputWindowDecodesLikeTheCanonicalCode) {
  std::vector<std::vector<uint8_t>> cases = {
      {2, 2, 2, 2},                                             // complete, all short
      {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 15},  // complete, every length
      {0, 0, 0},                                                // nothing assigned
      {0, 0, 5},                           // one code only: most prefixes unassigned
      {1, 1, 1, 1, 1},                     // oversubscribed
      {1, 2, 2, 2},                        // oversubscribed past codes that fill whole prefixes
      {15, 15, 15, 3, 0, 12, 11, 11, 10},  // sparse long codes
  };
  std::vector<uint8_t> big(306);
  for (uint32_t i = 0; i < big.size(); i++) big[i] = static_cast<uint8_t>((i * 7 + i / 3) % 16);
  cases.push_back(big);  // the largest table, lengths scattered and oversubscribed

  auto table = std::make_unique<HuffmanTable>();
  uint8_t bytes[8] = {};
  for (const auto& lengths : cases) {
    HuffmanBuild(table.get(), lengths.data(), static_cast<uint32_t>(lengths.size()));
    for (uint32_t field = 0; field < 0x10000; field++) {
      bytes[0] = static_cast<uint8_t>(field >> 8);
      bytes[1] = static_cast<uint8_t>(field);
      BitInput in;
      in.Reset(bytes);
      uint32_t symbol = HuffmanDecode(*table, in);
      Decoded want = ReferenceDecode(lengths, field);
      ASSERT_LT(symbol, lengths.size());
      ASSERT_EQ(symbol, want.symbol)
          << "field " << field << " of a " << lengths.size() << "-symbol table";
      ASSERT_EQ(in.addr * 8 + in.bit, want.bits) << "field " << field;
    }
  }
}

TEST(BitInput, ReadsMostSignificantBitFirstAcrossBytes) {
  const uint8_t bytes[] = {0xA5, 0x3C, 0xF0, 0x0F,
                           0,    0,    0,    0};  // with the spare bytes a peek reads
  BitInput in;
  in.Reset(bytes);
  EXPECT_EQ(in.Bits(3), 0x5u);      // 101
  EXPECT_EQ(in.Peek16(), 0x29E7u);  // 0 0101 0011 1100 111
  EXPECT_EQ(in.Bits(9), 0x53u);
  in.AlignToByte();
  EXPECT_EQ(in.addr, 2u);
  EXPECT_EQ(in.Bits(16), 0xF00Fu);
  EXPECT_EQ(in.Bits(0), 0u);
}

}  // namespace
