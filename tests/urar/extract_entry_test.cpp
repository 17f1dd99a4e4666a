// Extraction below the decoders: the order of the tests, the stored copy, both checksums and the
// RAR 2.0 window rules.
#include <gtest/gtest.h>

#include "tests/urar/test_archives.h"
#include "urar/archive/extract_entry.h"
#include "urar/common/extract_result.h"

using rarblocks::FileEntry;
using rarblocks::Writer;

namespace {

FileEntry WithFlags(FileEntry f, uint16_t flags) {
  f.flags = uint16_t(flags | 0x8000);
  return f;
}

}  // namespace

TEST(ExtractEntry, ResultsOfContainerLevelCases) {
  FileEntry any_version = Stored("v10", "stored whatever the version");
  any_version.unp_ver = 10;
  FileEntry too_long = Stored("long", std::string(20, 'L'));
  too_long.unp_size_from_data = false;
  too_long.unp_size = 10;
  FileEntry growing = too_long;
  growing.unp_size = 0;
  FileEntry growing_bad = growing;
  growing_bad.crc_from_data = false;
  FileEntry bad_crc = Stored("bad", "data");
  bad_crc.crc_from_data = false;
  bad_crc.file_crc = 1;
  FileEntry rar15 = Stored("m15", "packed");
  rar15.unp_ver = 15;
  rar15.method = 0x33;
  FileEntry encrypted = Stored("enc", "packed");
  encrypted.flags = 0x8004;
  encrypted.method = 0x33;
  FileEntry encrypted15 = rar15;
  encrypted15.flags = 0x8004;
  FileEntry split = WithFlags(Stored("split", "first part"), 0x02);
  // Pieces of the writer's buffer size and more go straight to the output, checked and copied
  // in one pass: a fixed capacity still stops them, a growable stream still grows.
  std::string large(5000, 'x');
  for (size_t i = 0; i < large.size(); ++i) large[i] = char('a' + i * 7 % 26);
  FileEntry large_ok = Stored("large", large);
  FileEntry large_long = large_ok;
  large_long.unp_size_from_data = false;
  large_long.unp_size = 3000;
  FileEntry large_growing = large_long;
  large_growing.unp_size = 0;

  struct Case {
    FileEntry entry;
    int result;
    const char* output;  // null: not checked
  } cases[] = {
      {any_version, kExtractOk, "stored whatever the version"},
      {too_long, kExtractOverflow, "LLLLLLLLLL"},
      {growing, kExtractOk, "LLLLLLLLLLLLLLLLLLLL"},
      {growing_bad, kExtractBadData, nullptr},
      {bad_crc, kExtractBadData, "data"},
      {rar15, kExtractUnsupported, nullptr},
      {encrypted, kExtractEncrypted, nullptr},
      {encrypted15, kExtractEncrypted, nullptr},  // encryption is tested before the method
      {split, kExtractTruncated, nullptr},
      {large_ok, kExtractOk, large.c_str()},
      {large_long, kExtractOverflow, nullptr},
      {large_growing, kExtractOk, large.c_str()},
  };
  for (const Case& c : cases) {
    TestReader r(ArchiveOf({c.entry, Stored("after", "next entry")}));
    ASSERT_EQ(r.First(), 0) << c.entry.name;
    EXPECT_EQ(r.Extract(), c.result) << c.entry.name;
    if (c.output) EXPECT_EQ(r.Output(), c.output) << c.entry.name;
    if (c.entry.name == "large" && c.result == kExtractOverflow)
      EXPECT_EQ(r.Output(), large.substr(0, 3000)) << "what fits is written";
    if (c.entry.flags & 0x02) continue;
    ASSERT_EQ(r.Next(), 0) << c.entry.name;
    EXPECT_EQ(r.Extract(), kExtractOk) << "the entry after " << c.entry.name;
  }
}

TEST(ExtractEntry, PackedDataCutShortByTheBuffer) {
  std::vector<uint8_t> archive = ArchiveOf({Stored("cut", std::string(5000, 'c'))});
  archive.resize(archive.size() - 7 - 1000);  // drop the end block and part of the data
  TestReader r(archive);
  ASSERT_EQ(r.First(), 0);
  EXPECT_EQ(r.Extract(), kExtractTruncated);
}

TEST(ExtractEntry, OldFormatStoredUsesTheSixteenBitSum) {
  Writer w;
  w.OldMainHeader(7)
      .OldFile("GOOD.TXT", Bytes("sixteen-bit sum"))
      .OldFile("PACKED", Bytes("xx"), 3);
  TestReader r(w.bytes);
  ASSERT_EQ(r.First(), 0);
  EXPECT_EQ(r.Extract(), kExtractOk);
  EXPECT_EQ(r.Output(), "sixteen-bit sum");
  ASSERT_EQ(r.Next(), 0);
  EXPECT_EQ(r.Extract(), kExtractUnsupported);

  std::vector<uint8_t> bad = Writer().OldMainHeader(7).OldFile("BAD", Bytes("abc")).bytes;
  bad[7 + 8] ^= 1;  // the stored 16-bit sum
  TestReader b(bad);
  ASSERT_EQ(b.First(), 0);
  EXPECT_EQ(b.Extract(), kExtractBadData);
}

TEST(ExtractEntry, WindowSizeFollowsTheDictionaryBits) {
  const uint32_t kb = 1024;
  const uint32_t expected[8] = {1024 * kb, 128 * kb,  256 * kb,  512 * kb,
                                1024 * kb, 2048 * kb, 4096 * kb, 1024 * kb};
  for (uint16_t d = 0; d < 8; ++d) EXPECT_EQ(Rar20WindowSize(uint16_t(d << 5)), expected[d]) << d;
}

TEST(ExtractEntry, WindowIsReusedGrownOrKeptForSolidEntries) {
  const uint32_t kb = 1024;
  // The window is ensured for every entry, whatever its method, before anything else.
  FileEntry d0 = WithFlags(Stored("d0", "a"), 0 << 5);
  FileEntry d6 = WithFlags(Stored("d6", "b"), 6 << 5);
  FileEntry d1 = WithFlags(Stored("d1", "c"), 1 << 5);
  FileEntry d6_solid = WithFlags(Stored("d6s", "d"), (6 << 5) | 0x10);
  FileEntry d2_solid_v15 = WithFlags(Stored("d2s15", "e"), (2 << 5) | 0x10);
  d2_solid_v15.unp_ver = 15;
  FileEntry d3_encrypted = WithFlags(Stored("d3e", "f"), (3 << 5) | 0x04);

  struct Step {
    std::vector<FileEntry> entries;
    std::vector<uint32_t> sizes;  // window size after each entry
    uint16_t archive_flags;
  } steps[] = {
      {{d0, d6}, {1024 * kb, 4096 * kb}, 0},          // a larger window replaces it
      {{d6, d1}, {4096 * kb, 4096 * kb}, 0},          // a large window is reused
      {{d1, d6_solid}, {128 * kb, 128 * kb}, 0},      // a solid entry keeps the small one
      {{d1, d2_solid_v15}, {128 * kb, 256 * kb}, 0},  // old versions: the archive flag decides
      {{d1, d2_solid_v15}, {128 * kb, 128 * kb}, 0x08},
      {{d1, d3_encrypted}, {128 * kb, 512 * kb}, 0},  // ensured before the encryption test
  };
  for (const Step& s : steps) {
    Writer w;
    w.Marker().MainHeader(s.archive_flags);
    for (const auto& e : s.entries) w.File(e);
    TestReader r(w.bytes);
    for (size_t i = 0; i < s.entries.size(); ++i) {
      ASSERT_EQ(i == 0 ? r.First() : r.Next(), 0);
      r.Extract();
      EXPECT_EQ(r.reader().window20.size, s.sizes[i]) << s.entries[i].name;
      EXPECT_EQ(r.reader().window20.mask, s.sizes[i] - 1);
    }
  }
}
