// Archives that once crashed the library through its filters, kept in fuzz/regressions/ (which
// the fuzz targets' replay tests run too) and run here through the six exports.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/urar/forged_filter_programs.h"
#include "tests/urar/rar29_stream_writer.h"
#include "tests/urar/test_archives.h"
#include "urar/urar.h"

namespace {

std::vector<uint8_t> ReadRegression(const std::string& name) {
  std::ifstream in(std::string(PROJECT_SOURCE_DIR) + "/fuzz/regressions/" + name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A 48-byte entry (two rows of eight pixels) through the RGB program with the red position
// R1 = 0xFFFFFFFF, then a stored entry. The native RGB filter took red at i = 0xFFFFFFFF, where
// i + 2 wraps to 1, and wrote 4 GiB past the block.
std::vector<uint8_t> RgbRedPositionWraps(uint32_t crc) {
  constexpr uint32_t kSize = 48;
  FilterDefinitionBits d;
  d.Number(1);  // filter 0, new
  d.Number(0);  // from the next byte
  d.Number(kSize);
  d.Bits(3, 7);  // R0 and R1 follow
  d.Number(24);  // bytes per row
  d.Number(0xFFFFFFFFu);
  const std::vector<uint8_t> program = forged::Program(StandardFilter::kRgb);
  d.Number(uint32_t(program.size()));
  for (uint8_t b : program) d.Byte(b);
  Rar29StreamWriter s;
  s.FilterDefinition(0xB0, d.Bytes());
  for (uint32_t i = 0; i < kSize; ++i) s.Literal(uint8_t(i * 11));
  s.EndOfFile();
  return ArchiveOf({Rar29Entry("image.rgb", s.Finish(), kSize, crc), Stored("after", "next")});
}

// The entry's checksum is that of the bytes the program gives when interpreted.
std::vector<uint8_t> RgbRedPositionWrapsArchive() {
  TestReader draft(RgbRedPositionWraps(0));
  draft.reader().interpret_all_filters = true;
  draft.First();
  draft.Extract();
  return RgbRedPositionWraps(CrcOf(draft.Output()));
}

TEST(FilterRegression, RgbRedPositionWrapsGivesTheProgramsResult) {
  const std::vector<uint8_t> archive = ReadRegression("rgb-red-position-wraps.rar");
  ASSERT_TRUE(archive == RgbRedPositionWrapsArchive()) << "the kept archive is this one";

  URARHandle* h = URARInitialize(0, archive.data(), int32_t(archive.size()));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(URARDoAction(h), URAR_OK);  // its checksum matches: the program's result
  int32_t size = 0;
  URARGetSizeBuffer(h, URAR_BUFFER_DATA, &size);
  EXPECT_EQ(size, 48);
  EXPECT_EQ(URARDoAction(h), URAR_OK);
  std::vector<char> next(4);
  EXPECT_EQ(URARGetBuffer(h, URAR_BUFFER_DATA, next.data(), 4), URAR_OK);
  EXPECT_EQ(std::string(next.begin(), next.end()), "next");
  EXPECT_EQ(URARDoAction(h), URAR_END);
  EXPECT_EQ(URARGetLastError(h), URAR_END_CLEAN);
  URARFinalize(h);
}

// A program that loops just under the per-run limit (12,400,000 rounds of DEC and JNZ: 24.8
// million instructions), defined at an entry's start and applied to `uses` one-byte blocks: a
// few bytes of archive for each run. Without an archive-wide budget a few kilobytes of such uses
// cost minutes.
std::vector<uint8_t> SlowFilterStream(uint32_t uses) {
  const std::vector<uint8_t> program = vmasm::Assembler()
                                           .I(vmasm::MOV, vmasm::R(0), vmasm::Imm(12'400'000))
                                           .I(vmasm::DEC, vmasm::R(0))
                                           .Jump(vmasm::JNZ, 1)
                                           .I(vmasm::RET)
                                           .Bytes();
  Rar29StreamWriter s;
  for (uint32_t i = 0; i < uses; ++i) {
    FilterDefinitionBits d;
    d.Number(1);  // filter 0: new at the first use, the same one after
    d.Number(0);  // from the next byte
    d.Number(1);  // one byte long
    if (i == 0) {
      d.Number(uint32_t(program.size()));
      for (uint8_t b : program) d.Byte(b);
    }
    s.FilterDefinition(0xA0, d.Bytes());
    s.Literal(uint8_t('a' + i % 26));
  }
  s.EndOfFile();
  return s.Finish();
}

std::string SlowFilterOutput(uint32_t uses) {
  std::string out;
  for (uint32_t i = 0; i < uses; ++i) out += char('a' + i % 26);
  return out;
}

// The archive's filters share one budget: the first entry's twelve runs (about 300 million
// instructions) fit, the second's do not, and it fails as asking too much work within about
// 500 million instructions in all instead of running on; a stored entry still comes out, and a
// later filtered entry fails at once.
TEST(FilterRegression, FilterWorkIsBoundedAcrossTheArchive) {
  auto entry = [](const std::string& name, uint32_t uses) {
    const std::string out = SlowFilterOutput(uses);
    return Rar29Entry(name, SlowFilterStream(uses), uses, CrcOf(out));
  };
  const std::vector<uint8_t> archive = ArchiveOf(
      {entry("first", 12), entry("second", 12), Stored("stored", "kept"), entry("third", 1)});
  URARHandle* h = URARInitialize(0, archive.data(), int32_t(archive.size()));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(URARDoAction(h), URAR_OK);
  EXPECT_EQ(URARDoAction(h), URAR_FAILED);
  EXPECT_EQ(URARGetLastError(h), 5);
  EXPECT_EQ(URARDoAction(h), URAR_OK);
  EXPECT_EQ(URARDoAction(h), URAR_FAILED);
  EXPECT_EQ(URARGetLastError(h), 5);
  EXPECT_EQ(URARDoAction(h), URAR_END);
  EXPECT_EQ(URARGetLastError(h), URAR_END_CLEAN);
  URARFinalize(h);
}

}  // namespace
