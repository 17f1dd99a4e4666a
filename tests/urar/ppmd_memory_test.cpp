// The sub-allocator's layout and bookkeeping: the split of the block into text and units, blocks
// that never overlap, free units merged into larger blocks, units taken from the top of the
// text area when everything else is used, and the memory kept or replaced by size.
#include "urar/ppmd/ppmd_memory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

constexpr uint32_t kOneMegabyte = 1u << 20;

struct PpmdMemoryLayout : ::testing::Test {
  PpmdMemory mem{};
  std::vector<uint8_t> owner;  // which allocation holds each unit (0 = none)

  void SetUp() override {
    ASSERT_TRUE(PpmdMemoryStart(&mem, kOneMegabyte));
    PpmdMemoryReset(&mem);
    owner.assign(kOneMegabyte / kPpmdUnitSize + 1, 0);
  }
  void TearDown() override { PpmdMemoryStop(&mem); }

  // Records a block and checks that it lies above the text, inside the memory, and apart from
  // every block still held.
  void Claim(uint32_t block, uint32_t units, uint8_t id) {
    ASSERT_NE(block, 0u);
    ASSERT_GT(block, mem.text);
    ASSERT_LE(block + units * kPpmdUnitSize, mem.size);
    ASSERT_EQ((block - mem.units_start) % kPpmdUnitSize, 0u);
    for (uint32_t u = 0; u < units; u++) {
      uint32_t slot = (block - (mem.size % kPpmdUnitSize)) / kPpmdUnitSize + u;
      ASSERT_EQ(owner[slot], 0) << "overlap at " << block;
      owner[slot] = id;
    }
    mem.base[block] = mem.base[block + 1] = 0;  // a context's symbol count is never 0xFFFF
  }
  void Release(uint32_t block, uint32_t units) {
    for (uint32_t u = 0; u < units; u++)
      owner[(block - (mem.size % kPpmdUnitSize)) / kPpmdUnitSize + u] = 0;
    PpmdFreeUnits(&mem, block, units);
  }
};

}  // namespace

TEST(PpmdUnitTables, SizeClassesAndLookupAgree) {
  const uint8_t expected_start[] = {1, 2, 3, 4, 6, 8, 10, 12, 15, 18, 21, 24, 28};
  for (int i = 0; i < 13; i++) EXPECT_EQ(kPpmdUnits.units[i], expected_start[i]);
  EXPECT_EQ(kPpmdUnits.units[kPpmdIndexCount - 1], 128);
  for (uint32_t n = 1; n <= 128; n++) {
    int i = kPpmdUnits.index[n - 1];
    EXPECT_GE(kPpmdUnits.units[i], n);
    if (i > 0) EXPECT_LT(kPpmdUnits.units[i - 1], n);
  }
}

TEST_F(PpmdMemoryLayout, SevenEighthsOfTheBlockAreUnits) {
  uint32_t units_bytes = mem.size - mem.units_start;
  EXPECT_EQ(units_bytes % kPpmdUnitSize, 0u);
  EXPECT_EQ(units_bytes, kPpmdUnitSize * (kOneMegabyte / 8 / kPpmdUnitSize * 7));
  EXPECT_EQ(mem.lo_unit, mem.units_start);
  EXPECT_EQ(mem.hi_unit, mem.size);
  EXPECT_EQ(mem.text, 0u);
}

TEST_F(PpmdMemoryLayout, FreedNeighboursMergeThenTextAreaServesUntilExhausted) {
  // Contexts from the top until the gap closes.
  std::vector<uint32_t> contexts;
  while (mem.hi_unit != mem.lo_unit) {
    contexts.push_back(PpmdAllocContext(&mem));
    Claim(contexts.back(), 1, 1);
  }
  // 256 neighbouring single units back: the first rare allocation merges them into two
  // 128-unit blocks.
  for (int i = 0; i < 256; i++) Release(contexts[100 + i], 1);
  uint32_t a = PpmdAllocUnits(&mem, 128);
  Claim(a, 128, 2);
  uint32_t b = PpmdAllocUnits(&mem, 128);
  Claim(b, 128, 3);
  EXPECT_EQ(std::min(a, b), contexts[355]);
  EXPECT_EQ(mem.free_head[0], 0u);

  // Nothing free is left: blocks come from the top of the text area, down to the text.
  mem.text = 1000;
  uint32_t below = mem.units_start;
  uint32_t c = PpmdAllocUnits(&mem, 128);
  EXPECT_EQ(c, below - 128 * kPpmdUnitSize);
  EXPECT_EQ(mem.units_start, c);
  Claim(c, 128, 4);
  int taken = 0;
  for (uint32_t block; (block = PpmdAllocUnits(&mem, 4)) != 0; taken++) Claim(block, 4, 5);
  EXPECT_GT(taken, 2000);
  EXPECT_LE(mem.units_start - mem.text, 4 * kPpmdUnitSize);
  for (uint32_t block; (block = PpmdAllocContext(&mem)) != 0;) Claim(block, 1, 6);
  EXPECT_LE(mem.units_start - mem.text, kPpmdUnitSize);
}

TEST_F(PpmdMemoryLayout, ExpandAndShrinkKeepTheContents) {
  auto fill = [&](uint32_t block, uint32_t units, uint8_t first) {
    for (uint32_t i = 0; i < units * kPpmdUnitSize; i++)
      mem.base[block + i] = static_cast<uint8_t>(first + i);
  };
  auto holds = [&](uint32_t block, uint32_t units, uint8_t first) {
    for (uint32_t i = 0; i < units * kPpmdUnitSize; i++)
      if (mem.base[block + i] != static_cast<uint8_t>(first + i)) return false;
    return true;
  };
  // 2 -> 3 units changes the size class: the contents move, the old block is free.
  uint32_t two = PpmdAllocUnits(&mem, 2);
  fill(two, 2, 1);
  uint32_t three = PpmdExpandUnits(&mem, two, 2);
  ASSERT_NE(three, two);
  EXPECT_TRUE(holds(three, 2, 1));
  EXPECT_EQ(mem.free_head[kPpmdUnits.index[1]], two);

  // 5 -> 6 units stays in its class and in place.
  uint32_t six = PpmdAllocUnits(&mem, 5);
  EXPECT_EQ(PpmdExpandUnits(&mem, six, 5), six);
  // 6 -> 1 with no free single unit: split in place into 1 + 4 + 1 units.
  fill(six, 1, 50);
  EXPECT_EQ(PpmdShrinkUnits(&mem, six, 6, 1), six);
  EXPECT_TRUE(holds(six, 1, 50));
  EXPECT_EQ(mem.free_head[kPpmdUnits.index[3]], six + kPpmdUnitSize);
  EXPECT_EQ(mem.free_head[0], six + 5 * kPpmdUnitSize);

  // 3 -> 2 with a free two-unit block: the contents move there.
  fill(three, 3, 90);
  EXPECT_EQ(PpmdShrinkUnits(&mem, three, 3, 2), two);
  EXPECT_TRUE(holds(two, 2, 90));
  EXPECT_EQ(mem.free_head[kPpmdUnits.index[2]], three);
}

TEST(PpmdMemory, KeptForTheSameSizeReplacedForAnother) {
  PpmdMemory mem{};
  ASSERT_TRUE(PpmdMemoryStart(&mem, 2 * kOneMegabyte));
  uint8_t* first = mem.base;
  ASSERT_TRUE(PpmdMemoryStart(&mem, 2 * kOneMegabyte));
  EXPECT_EQ(mem.base, first);
  ASSERT_TRUE(PpmdMemoryStart(&mem, 3 * kOneMegabyte));
  EXPECT_EQ(mem.size, 3 * kOneMegabyte);

  static size_t requested;
  PpmdHeapAllocator saved = g_ppmd_heap_alloc;
  g_ppmd_heap_alloc = [](size_t size) -> void* {
    requested = size;
    return nullptr;
  };
  EXPECT_FALSE(PpmdMemoryStart(&mem, kOneMegabyte));
  g_ppmd_heap_alloc = saved;
  EXPECT_EQ(requested, (kOneMegabyte / 12 + 2) * 12);
  EXPECT_EQ(mem.base, nullptr);  // the old memory went first
  EXPECT_EQ(mem.size, 0u);
}
