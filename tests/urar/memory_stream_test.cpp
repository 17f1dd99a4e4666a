// The memory stream: open modes, fixed and growable capacities, views, seeks.
#include <gtest/gtest.h>

#include "urar/common/checksum.h"
#include "urar/archive/memory_stream.h"

#include <zlib.h>

#include <random>
#include <vector>

TEST(MemoryStream, OpenModes) {
  char data[4] = {1, 2, 3, 4};
  struct {
    const void* data;
    int32_t size;
    const char* mode;
    bool opens;
    uint32_t capacity;
  } cases[] = {
      {data, 4, "rb", true, 4},      {data, 0, "r", true, 0},        {data, -1, "rb", false, 0},
      {nullptr, 16, "wb", true, 16}, {nullptr, 0, "wb", true, 1024}, {nullptr, -64, "wb", true, 64},
      {data, 4, "wb", false, 0},     {nullptr, 4, "ab", false, 0},
  };
  for (const auto& c : cases) {
    MemoryStream* s = MemOpen(c.data, c.size, c.mode);
    EXPECT_EQ(s != nullptr, c.opens) << c.mode << " " << c.size;
    if (s) EXPECT_EQ(s->capacity, c.capacity);
    MemClose(s);
  }
}

TEST(MemoryStream, DeclaredSizeIsACeilingNotAnAllocation) {
  // A header may declare almost 2 GiB and deliver 10 bytes: memory follows what arrives.
  MemoryStream* lying = MemOpen(nullptr, 0x7FFFFFF0, "wb");
  ASSERT_NE(lying, nullptr);
  EXPECT_LE(lying->capacity, 4u << 20);
  EXPECT_EQ(MemWrite("0123456789", 1, 10, lying), 10u);
  EXPECT_LE(lying->capacity, 4u << 20);
  MemClose(lying);

  // Past the first block it grows up to the declared size and never beyond it.
  const uint32_t declared = 9u << 20;
  MemoryStream* s = MemOpen(nullptr, int32_t(declared), "wb");
  std::vector<uint8_t> piece(3u << 20, 0xA5);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(MemWrite(piece.data(), 1, piece.size(), s), piece.size());
  EXPECT_EQ(MemWrite(piece.data(), 1, piece.size(), s), 0u) << "the declared size is full";
  EXPECT_EQ(s->capacity, declared);
  EXPECT_EQ(s->length, declared);
  MemClose(s);
}

TEST(MemoryStream, FixedCapacityDropsWhatDoesNotFitGrowableGrows) {
  MemoryStream* fixed = MemOpen(nullptr, 5, "wb");
  EXPECT_EQ(MemWrite("abc", 1, 3, fixed), 3u);
  EXPECT_EQ(MemWrite("defg", 1, 4, fixed), 2u) << "short count is how the writer notices";
  EXPECT_EQ(fixed->length, 5u);
  EXPECT_EQ(fixed->capacity, 5u);
  MemClose(fixed);

  MemoryStream* grow = MemOpen(nullptr, -2, "wb");
  EXPECT_EQ(MemWrite("abcdefgh", 2, 4, grow), 4u);
  EXPECT_GE(grow->capacity, 8u);
  EXPECT_EQ(MemSeek(grow, 0, 0), 0);
  char back[8];
  EXPECT_EQ(MemRead(back, 4, 3, grow), 2u) << "whole elements only";
  EXPECT_EQ(std::string(back, 8), "abcdefgh");
  MemClose(grow);

  char ro[2] = {'x', 'y'};
  MemoryStream* view = MemOpen(ro, 2, "rb");
  EXPECT_EQ(MemWrite("z", 1, 1, view), 0u);
  const uint8_t* p = nullptr;
  EXPECT_EQ(MemReadView(&p, 1, 5, view), 2u);
  EXPECT_EQ(p, reinterpret_cast<uint8_t*>(ro));
  MemClose(view);
}

TEST(MemoryStream, Seek) {
  char data[10] = {};
  MemoryStream* s = MemOpen(data, 10, "rb");
  struct {
    int64_t offset;
    int origin;
    int result;
    uint32_t position;
  } steps[] = {{4, 0, 0, 4},  {3, 1, 0, 7},  {4, 1, -1, 7}, {-2, 2, 0, 8},
               {1, 2, -1, 8}, {0, 3, -1, 8}, {-1, 0, -1, 8}};
  for (const auto& st : steps) {
    EXPECT_EQ(MemSeek(s, st.offset, st.origin), st.result);
    EXPECT_EQ(MemTell(s), st.position);
  }
  MemClose(s);
}

TEST(Checksum, Crc32MatchesZlibAtEverySizeAndAlignment) {
  std::mt19937 rng(7);
  std::vector<uint8_t> data(4096 + 64);
  for (auto& b : data) b = uint8_t(rng());
  for (size_t offset = 0; offset < 16; ++offset)
    for (size_t size : {0, 1, 15, 16, 17, 31, 64, 127, 128, 129, 143, 255, 1000, 4096}) {
      uint32_t split = uint32_t(size / 3);
      const uint8_t* p = data.data() + offset;
      uint32_t expected = crc32(0, p, uInt(size));
      EXPECT_EQ(Crc32(Crc32(0, p, split), p + split, size - split), expected)
          << offset << " " << size;
      EXPECT_EQ(Crc32(0, p, size), expected) << offset << " " << size;
      EXPECT_EQ(Crc32Portable(0, p, size), expected) << offset << " " << size;
    }
}

TEST(Checksum, Sum16RotatesWithinSixteenBits) {
  const uint8_t bytes[] = {0xFF, 0xFF, 0x01};
  // s = rotl(0xFF) = 0x1FE; s = rotl(0x2FD) = 0x5FA; s = rotl(0x5FB) = 0xBF6.
  EXPECT_EQ(Sum16(0, bytes, 3), 0x0BF6);
  const uint8_t high[] = {0x80};
  EXPECT_EQ(Sum16(0x8000, high, 1), 0x0101);  // (0x8080 rotl 1) wraps the top bit round
}
