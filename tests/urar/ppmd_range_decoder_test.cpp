// The range decoder against an independent carry-less encoder written from the coder's
// definition: skewed frequency tables drive the range below 2^15 often, so the cut to the next
// 2^15 boundary of low is exercised as much as the plain byte shifts.
#include "urar/ppmd/ppmd_range_decoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Encoder {
  uint32_t low = 0;
  uint32_t range = 0xFFFFFFFF;
  std::vector<uint8_t> out;

  void Shift() {
    out.push_back(static_cast<uint8_t>(low >> 24));
    low <<= 8;
    range <<= 8;
  }
  void Encode(uint32_t start, uint32_t size, uint32_t total) {
    range /= total;
    low += start * range;
    range *= size;
    for (;;) {
      if ((low ^ (low + range)) < (1u << 24)) {
        Shift();
      } else if (range < (1u << 15)) {
        range = (0u - low) & ((1u << 15) - 1);
        Shift();
      } else {
        break;
      }
    }
  }
  void Finish() {
    for (int i = 0; i < 4; i++) Shift();
  }
};

struct Reader {
  const std::vector<uint8_t>* data;
  size_t position = 0;
  static uint8_t Next(void* context) {
    auto* r = static_cast<Reader*>(context);
    return r->position < r->data->size() ? (*r->data)[r->position++] : 0;
  }
};

uint32_t NextRandom(uint32_t* state) {
  *state ^= *state << 13;
  *state ^= *state >> 17;
  *state ^= *state << 5;
  return *state;
}

}  // namespace

TEST(PpmdRangeDecoder, DecodesWhatTheCarrylessEncoderWrote) {
  // Tables like the model's: a dominant symbol, a long tail, and binary splits of 2^14.
  const std::vector<std::vector<uint32_t>> tables = {
      {1, 1},
      {16000, 1, 1, 1, 3},
      {124, 60, 30, 10, 4, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
      std::vector<uint32_t>(256, 1),
  };
  for (int shift_mode = 0; shift_mode < 2; shift_mode++) {
    uint32_t seed = 0x1234567u + shift_mode;
    std::vector<std::pair<size_t, uint32_t>> sent;  // table, symbol
    Encoder enc;
    for (int i = 0; i < 200000; i++) {
      size_t t = NextRandom(&seed) % tables.size();
      const auto& freq = tables[t];
      uint32_t total = 0;
      for (uint32_t f : freq) total += f;
      // Mostly the likely symbols, sometimes the rare ones, as a model would see them.
      uint32_t symbol = (NextRandom(&seed) % 8) ? 0 : NextRandom(&seed) % freq.size();
      uint32_t start = 0;
      for (uint32_t s = 0; s < symbol; s++) start += freq[s];
      if (shift_mode && t == 1) {
        // The binary-context form: a scale of 2^14 applied by shifting.
        const uint32_t bs = 16000;
        symbol = symbol == 0 ? 0 : 1;
        enc.Encode(symbol ? bs : 0, symbol ? (1u << 14) - bs : bs, 1u << 14);
      } else {
        enc.Encode(start, freq[symbol], total);
      }
      sent.push_back({t, symbol});
    }
    enc.Finish();

    Reader reader{&enc.out};
    PpmdRangeDecoder dec;
    dec.Start(PpmdByteSource{Reader::Next, &reader});
    for (size_t i = 0; i < sent.size(); i++) {
      const auto& freq = tables[sent[i].first];
      uint32_t low, high;
      if (shift_mode && sent[i].first == 1) {
        ASSERT_TRUE(dec.ScaleShift(14));
        uint32_t symbol = dec.Count() < 16000 ? 0 : 1;
        ASSERT_EQ(symbol, sent[i].second) << "symbol " << i;
        low = symbol ? 16000 : 0;
        high = symbol ? (1u << 14) : 16000;
      } else {
        uint32_t total = 0;
        for (uint32_t f : freq) total += f;
        ASSERT_TRUE(dec.Scale(total));
        uint32_t count = dec.Count();
        ASSERT_LT(count, total);
        uint32_t symbol = 0;
        low = 0;
        while (low + freq[symbol] <= count) low += freq[symbol++];
        ASSERT_EQ(symbol, sent[i].second) << "symbol " << i;
        high = low + freq[symbol];
      }
      dec.Take(low, high);
      dec.Normalize();
    }
    EXPECT_EQ(reader.position, enc.out.size());
  }
}
