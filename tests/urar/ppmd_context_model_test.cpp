// The context model against an independent PPMd variant H encoder: the 7z archiver writes the
// same model with another range coder, so decoding its stream with that coder checks every
// model rule, including the sub-allocator filling up, taking units from the text area, and the
// restart when memory runs out, byte for byte against a second implementation.
#include "urar/ppmd/ppmd_context_model.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace {

// The 7z format's range decoder, in the interface the model decodes through.
struct SevenZipCoder {
  const uint8_t* data;
  size_t size;
  size_t position = 0;
  uint32_t range = 0xFFFFFFFF;
  uint32_t code = 0;

  uint8_t Byte() { return position < size ? data[position++] : 0; }
  bool Start() {
    if (Byte() != 0) return false;
    for (int i = 0; i < 4; i++) code = (code << 8) | Byte();
    return true;
  }
  bool Scale(uint32_t total) {
    range /= total;
    return range != 0;
  }
  uint32_t Count() const { return code / range; }
  void Take(uint32_t low, uint32_t high) {
    code -= low * range;
    range *= high - low;
  }
  int Binary(uint32_t bound) {
    const uint32_t split = (range >> 14) * bound;
    if (code < split) {
      range = split;
      return 1;
    }
    code -= split;
    range -= split;
    return 0;
  }
  void Normalize() {
    while (range < (1u << 24)) {
      code = (code << 8) | Byte();
      range <<= 8;
    }
  }
};

// Words of 2 to 9 random lowercase letters: contexts rarely repeat, so the model grows fast.
std::vector<uint8_t> RandomLetters(size_t size) {
  uint32_t state = 0x9E3779B9;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  };
  std::vector<uint8_t> out;
  while (out.size() < size) {
    const uint32_t r = next();
    for (uint32_t i = 0; i < 2 + r % 8; i++) out.push_back(static_cast<uint8_t>('a' + next() % 26));
    out.push_back(r >> 28 == 0 ? '\n' : ' ');
  }
  out.resize(size);
  return out;
}

}  // namespace

TEST(PpmdContextModel, DecodesAnIndependentEncodersStreamThroughAMemoryRestart) {
  std::ifstream in(PROJECT_SOURCE_DIR "/tests/fixtures/ppmd/random-letters-o8-1mb.7z",
                   std::ios::binary);
  const std::vector<uint8_t> archive((std::istreambuf_iterator<char>(in)), {});
  ASSERT_GT(archive.size(), 32u);
  uint64_t packed_size;
  std::memcpy(&packed_size, archive.data() + 12,
              8);  // the packed stream ends where the header starts
  ASSERT_LE(packed_size, archive.size() - 32);

  SevenZipCoder coder{archive.data() + 32, static_cast<size_t>(packed_size)};
  ASSERT_TRUE(coder.Start());
  auto model = std::make_unique<ppmd::ContextModel>();
  ASSERT_TRUE(PpmdMemoryStart(&model->mem, 1u << 20));
  ppmd::StartModel(model.get(), 8);
  const uint32_t first_units_start = model->mem.units_start;

  const std::vector<uint8_t> expected = RandomLetters(100000);
  int restarts = 0;
  bool units_from_text = false;
  uint32_t text = 0;
  for (size_t i = 0; i < expected.size(); i++) {
    const int symbol = ppmd::DecodeSymbol(model.get(), coder);
    ASSERT_EQ(symbol, expected[i]) << "byte " << i;
    units_from_text |= model->mem.units_start < first_units_start;
    restarts += model->mem.text + 1 < text;  // the text only ever steps back by one otherwise
    text = model->mem.text;
  }
  EXPECT_TRUE(units_from_text);
  EXPECT_EQ(restarts, 1);
  PpmdMemoryStop(&model->mem);
}
