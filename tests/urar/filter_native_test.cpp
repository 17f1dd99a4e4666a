// The native standard filters on blocks whose results are worked out by hand from the filters'
// definitions, and the registers they leave to the programs. (The interpreted standard programs
// are compared with these in filter_programs_test.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "urar/filters/filter_native.h"
#include "urar/filters/filter_vm.h"

namespace {

struct Block {
  uint32_t position, size;
  std::vector<uint8_t> bytes;  // the output block (up to 64 bytes)
  std::vector<uint8_t> head;   // 64 bytes from the output position, whatever the size
};

// Runs `kind` over `input` at offset 0 with the fixed globals a decoder sets (block at 0).
Block Filter(StandardFilter kind, const std::vector<uint8_t>& input, uint32_t r0 = 0,
             uint32_t r1 = 0, uint32_t file_offset = 0, uint32_t size = 0) {
  std::vector<uint8_t> memory(kVmMemorySize + 4, 0xEE);
  if (size == 0) size = static_cast<uint32_t>(input.size());
  memcpy(memory.data(), input.data(), input.size());
  const uint32_t zero = 0;
  memcpy(&memory[kVmGlobalAddress + 0x1C], &size, 4);
  memcpy(&memory[kVmGlobalAddress + 0x20], &zero, 4);
  const uint32_t regs[7] = {r0, r1, 0, kVmGlobalAddress, size, 0, file_offset};
  EXPECT_TRUE(RunStandardFilter(kind, memory.data(), regs));
  Block out;
  memcpy(&out.position, &memory[kVmGlobalAddress + 0x20], 4);
  memcpy(&out.size, &memory[kVmGlobalAddress + 0x1C], 4);
  out.bytes.assign(memory.begin() + out.position,
                   memory.begin() + out.position + std::min<uint32_t>(out.size, 64));
  out.head.assign(memory.begin() + out.position, memory.begin() + out.position + 64);
  return out;
}

TEST(NativeFilterTest, X86CallAndJumpTargets) {
  const std::vector<uint8_t> in = {
      0x90, 0xE8, 0x34, 0x12, 0x00, 0x00,  // absolute 0x1234 at file offset 0x1002 -> 0x232
      0xE8, 0xF0, 0xFF, 0xFF, 0xFF,        // -16, non-negative with the offset -> + 16 MB
      0xE9, 0x10, 0x00, 0x00, 0x00,        // a jump: only the E8E9 filter converts it
      0xE8, 0x00, 0x00, 0x00, 0x80,        // negative even with the offset: kept
      0xE8, 0x00, 0x00, 0x00, 0x01,        // 16 MB and beyond: kept
      0x90, 0xE8, 0x05, 0x00, 0x00, 0x00,  // the last possible place: 5 - 0x101C
  };
  std::vector<uint8_t> e8 = in;
  const uint8_t first[] = {0x32, 0x02, 0x00, 0x00};
  const uint8_t second[] = {0xF0, 0xFF, 0xFF, 0x00};
  const uint8_t last[] = {0xE9, 0xEF, 0xFF, 0xFF};
  memcpy(&e8[2], first, 4);
  memcpy(&e8[7], second, 4);
  memcpy(&e8[28], last, 4);
  std::vector<uint8_t> e8e9 = e8;
  const uint8_t jump[] = {0x04, 0xF0, 0xFF, 0xFF};  // 0x10 - 0x100C
  memcpy(&e8e9[12], jump, 4);

  Block out = Filter(StandardFilter::kE8, in, 0, 0, 0x1000);
  EXPECT_EQ(out.position, 0u);
  EXPECT_EQ(out.bytes, e8);
  EXPECT_EQ(Filter(StandardFilter::kE8E9, in, 0, 0, 0x1000).bytes, e8e9);
}

TEST(NativeFilterTest, ItaniumBranchTargets) {
  std::vector<uint8_t> in(40, 0);
  // Bundle 0, template 0x10: slot 2 is a branch; opcode 5 at bits 124..127, target 0x12345 at
  // bits 100..119. The file offset 0x20 makes this bundle number 2.
  in[0] = 0x10;
  in[12] = 0x50, in[13] = 0x34, in[14] = 0x12, in[15] = 0x50;
  // Bundle 1 (number 3), template 0x16: all slots may branch; slot 0 has opcode 5 at bits
  // 42..45 and target 0x10 at bits 18..37; slot 1 has opcode 4 (bits 83..86), so its target
  // bits stay as they are.
  in[16] = 0x16;
  in[18] = 0x40, in[21] = 0x14;
  in[16 + 10] = 0x20, in[16 + 8] = 0x77;
  std::vector<uint8_t> expected = in;
  expected[12] = 0x30;  // 0x12343
  expected[18] = 0x34;  // 0x0D
  Block out = Filter(StandardFilter::kItanium, in, 0, 0, 0x20);
  EXPECT_EQ(out.bytes, expected);
}

TEST(NativeFilterTest, DeltaRgbAndUpperCaseWriteBesideTheBlock) {
  // Delta over two channels: each channel's bytes are running differences.
  Block delta = Filter(StandardFilter::kDelta, {1, 2, 3, 4, 5, 6}, 2);
  EXPECT_EQ(delta.position, 6u);
  EXPECT_EQ(delta.size, 6u);
  EXPECT_EQ(delta.bytes, (std::vector<uint8_t>{0xFF, 0xFC, 0xFD, 0xF7, 0xFA, 0xF1}));

  // Two rows of two pixels (R0 = 6). Red predicts 10, 15, then from above: 15 and 16; green
  // is 1 throughout, blue 2; finally green is added to red and blue.
  const std::vector<uint8_t> rgb_in = {0xF6, 0xFB, 0x00, 0xFF, 0xFF, 0, 0, 0, 0xFE, 0, 0, 0};
  Block rgb = Filter(StandardFilter::kRgb, rgb_in, 6, 0);
  EXPECT_EQ(rgb.position, 12u);
  EXPECT_EQ(rgb.bytes, (std::vector<uint8_t>{11, 1, 3, 16, 1, 3, 16, 1, 3, 17, 1, 3}));

  // 2 x is an upper-case letter, 2 2 a literal 2; the output is shorter.
  Block upper = Filter(StandardFilter::kUpperCase, {'a', 2, 'b', 2, 2, 'c'});
  EXPECT_EQ(upper.position, 6u);
  EXPECT_EQ(upper.bytes, (std::vector<uint8_t>{'a', 'B', 2, 'c'}));
}

// Registers outside the range the native code reproduces are left to the program: the native
// code declines and touches no byte of the machine's memory.
TEST(NativeFilterTest, DeclinesRegistersOutsideItsRange) {
  constexpr uint32_t kGlobals = kVmGlobalAddress;
  struct {
    const char* what;
    StandardFilter kind;
    uint32_t r[7];
  } cases[] = {
      {"x86 block reaching the globals", StandardFilter::kE8, {0, 0, 0, kGlobals, 0x3C000, 0, 0}},
      {"x86 start past the block", StandardFilter::kE8E9, {0, 0x3BF01, 0, kGlobals, 0x100, 0, 0}},
      {"x86 start wrapping", StandardFilter::kE8, {0, 0xFFFFFFFF, 0, kGlobals, 0x100, 0, 0}},
      {"Itanium block reaching the globals",
       StandardFilter::kItanium,
       {0, 0, 0, kGlobals, 0x3C000, 0, 0}},
      {"Itanium start", StandardFilter::kItanium, {0, 16, 0, kGlobals, 0x100, 0, 0}},
      {"delta without channels", StandardFilter::kDelta, {0, 0, 0, kGlobals, 24, 0, 0}},
      {"delta channels beyond the block", StandardFilter::kDelta, {25, 0, 0, kGlobals, 24, 0, 0}},
      {"delta output into the globals", StandardFilter::kDelta, {1, 0, 0, kGlobals, 0x1E000, 0, 0}},
      {"delta from a later channel", StandardFilter::kDelta, {2, 1, 0, kGlobals, 24, 0, 0}},
      {"delta globals elsewhere", StandardFilter::kDelta, {2, 0, 0, 0, 24, 0, 0}},
      {"RGB red position wrapping", StandardFilter::kRgb, {6, 0xFFFFFFFF, 0, kGlobals, 24, 0, 0}},
      {"RGB red position past the block", StandardFilter::kRgb, {6, 25, 0, kGlobals, 24, 0, 0}},
      {"RGB row narrower than a pixel", StandardFilter::kRgb, {2, 0, 0, kGlobals, 24, 0, 0}},
      {"RGB output into the globals", StandardFilter::kRgb, {6, 0, 0, kGlobals, 0x1E000, 0, 0}},
      {"audio channels wrapping", StandardFilter::kAudio, {0xFFFFFFFF, 0, 0, kGlobals, 24, 0, 0}},
      {"audio source elsewhere", StandardFilter::kAudio, {1, 0, 8, kGlobals, 24, 0, 0}},
      {"upper-case output into the globals",
       StandardFilter::kUpperCase,
       {0, 0, 0, kGlobals, 0x1E000, 0, 0}},
      {"upper-case block size wrapping",
       StandardFilter::kUpperCase,
       {0, 0, 0, kGlobals, 0xFFFFFFFF, 0, 0}},
  };
  std::vector<uint8_t> before(kVmMemorySize + 4);
  for (size_t i = 0; i < before.size(); ++i) before[i] = static_cast<uint8_t>(i * 7 + 1);
  for (const auto& c : cases) {
    std::vector<uint8_t> memory = before;
    EXPECT_FALSE(RunStandardFilter(c.kind, memory.data(), c.r)) << c.what;
    EXPECT_TRUE(memory == before) << c.what;
  }
}

}  // namespace
