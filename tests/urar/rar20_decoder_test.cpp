// RAR 2.0 decoding of streams built in the test: solid continuation through a kept smaller
// window, the table header that follows an entry, and how entries end short or long.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "tests/urar/rar20_writer.h"
#include "tests/urar/test_archives.h"
#include "urar/common/extract_result.h"

using rarblocks::FileEntry;
using rarblocks::Writer;

namespace {

constexpr uint16_t kSolid = 0x10;
constexpr uint16_t kDict128K = 1 << 5, kDict4M = 6 << 5;

uint32_t Next(uint32_t& seed) {
  seed = seed * 1664525u + 1013904223u;
  return seed >> 8;
}

// Random literals and matches until `w.out` holds `size` bytes; matches reach back up to
// `max_distance` bytes.
void Fill(Rar20Writer& w, size_t size, uint32_t max_distance, uint32_t seed) {
  while (w.out.size() < size) {
    size_t have = w.out.size(), left = size - have;
    if (have < 8 || left < 5 || Next(seed) % 3 == 0) {
      w.Literal(uint8_t(Next(seed) % 7 + 'a'));
      continue;
    }
    uint32_t distance = 1 + Next(seed) % uint32_t(std::min<size_t>(have, max_distance));
    uint32_t length = 5 + Next(seed) % 250;
    w.Match(uint32_t(std::min<size_t>(length, left)), distance);
  }
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, size_t from, size_t to) {
  return std::vector<uint8_t>(v.begin() + long(from), v.begin() + long(to));
}

std::string Text(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

std::vector<uint8_t> Archive(const std::vector<FileEntry>& files) {
  Writer w;
  w.Marker().MainHeader(0x08);
  for (const FileEntry& f : files) w.File(f);
  w.EndOfArchive();
  return w.bytes;
}

}  // namespace

// The first entry fills and wraps a 128 KB window and ends with the table header for the
// next one; the solid second entry asks for 4 MB, keeps the 128 KB window and its history,
// decodes with the tables read after the first, and reaches back into the first's data.
TEST(Rar20Decoder, SolidEntryContinuesInTheKeptWindowWithTheTrailingTables) {
  Rar20Writer w;
  w.Tables(Rar20Writer::Uniform(9, 6, 5));
  Fill(w, 200000, 131000, 1);
  w.NewTablesFollow();
  std::vector<uint8_t> second = Rar20Writer::Uniform(9, 6, 5);
  std::fill(second.begin(), second.begin() + 128, 8);  // shorter codes for half the literals
  w.Tables(second, /*keep_old=*/true);
  std::vector<uint8_t> packed_first = w.TakePacked();
  Fill(w, 260000, 131000, 2);
  std::vector<uint8_t> packed_second = w.TakePacked();

  std::vector<uint8_t> first = Slice(w.out, 0, 200000), then = Slice(w.out, 200000, 260000);
  TestReader r(Archive({Rar20Entry("first", packed_first, first, kDict128K),
                        Rar20Entry("second", packed_second, then, kDict4M | kSolid)}));
  ASSERT_EQ(r.First(), 0);
  ASSERT_EQ(r.Extract(), kExtractOk);
  EXPECT_TRUE(r.Output() == Text(first));
  ASSERT_EQ(r.Next(), 0);
  EXPECT_EQ(r.Extract(), kExtractOk);
  EXPECT_TRUE(r.Output() == Text(then));
  EXPECT_EQ(r.reader().window20.size, 128u * 1024);
}

// Solid continues only a history that an earlier entry started: a first entry that carries the
// solid flag starts afresh and reads its own tables.
TEST(Rar20Decoder, SolidFlagWithoutAnEarlierEntryStartsAfresh) {
  Rar20Writer w;
  w.Tables(Rar20Writer::Uniform(9, 6, 5));
  Fill(w, 5000, 4000, 3);
  std::vector<uint8_t> packed = w.TakePacked();
  TestReader r(Archive({Rar20Entry("solid-first", packed, w.out, kSolid)}));
  ASSERT_EQ(r.First(), 0);
  EXPECT_EQ(r.Extract(), kExtractOk);
  EXPECT_TRUE(r.Output() == Text(w.out));
}

TEST(Rar20Decoder, EntriesThatEndShortOrLong) {
  Rar20Writer w;
  w.Tables(Rar20Writer::Uniform(9, 6, 5));
  Fill(w, 20000, 10000, 4);
  w.Match(200, 3000);  // the last match: 200 bytes
  std::vector<uint8_t> packed = w.TakePacked();
  std::vector<uint8_t> content = w.out;

  FileEntry sound = Rar20Entry("sound", packed, content, 0);
  FileEntry long_match = sound;  // the last match runs 150 bytes past the declared size
  long_match.name = "long-match";
  long_match.unp_size -= 150;
  FileEntry wants_more = sound;  // the data end before the declared size is reached
  wants_more.name = "wants-more";
  wants_more.unp_size += 5000;
  FileEntry split = sound;  // continues in a next volume that is not there
  split.name = "split";
  split.flags |= 0x02;
  Rar20Writer bad;  // the first code length repeats a previous one
  bad.Bits(0, 2);
  for (int i = 0; i < 19; i++) bad.Bits(5, 4);
  bad.Bits(16, 5);
  bad.Bits(0, 16);
  FileEntry no_tables = Rar20Entry("no-tables", bad.TakePacked(), content, 0);

  struct Case {
    FileEntry entry;
    size_t cut;  // bytes dropped from the end of the archive, into the packed data
    int result;
    size_t output;  // how much of the content the output starts with
  } cases[] = {
      {sound, 0, kExtractOk, content.size()},
      {long_match, 0, kExtractOverflow, content.size() - 150},
      {wants_more, 0, kExtractTruncated, content.size()},
      {split, 0, kExtractTruncated, SIZE_MAX},
      {sound, 7 + packed.size() / 2, kExtractTruncated, SIZE_MAX},
      {no_tables, 0, kExtractBadData, 0},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> archive = Archive({c.entry});
    archive.resize(archive.size() - c.cut);
    TestReader r(archive);
    ASSERT_EQ(r.First(), 0) << c.entry.name;
    EXPECT_EQ(r.Extract(), c.result) << c.entry.name << " cut " << c.cut;
    if (c.output != SIZE_MAX) {
      ASSERT_GE(r.Output().size(), c.output) << c.entry.name;
      EXPECT_TRUE(r.Output().substr(0, c.output) == Text(Slice(content, 0, c.output)))
          << c.entry.name;
    }
  }
}

// RAR 2.6 entries decode as RAR 2.0 ones; refused entries do not disturb the decoder.
TEST(Rar20Decoder, VersionsDecodedAndRefused) {
  Rar20Writer w;
  w.Tables(Rar20Writer::Uniform(9, 6, 5));
  Fill(w, 3000, 2000, 5);
  FileEntry good = Rar20Entry("good", w.TakePacked(), w.out, 0);
  FileEntry old_method = good;
  old_method.name = "rar15";
  old_method.unp_ver = 15;
  FileEntry encrypted = good;
  encrypted.name = "encrypted";
  encrypted.flags |= 0x04;
  FileEntry v26 = good;
  v26.name = "rar26";
  v26.unp_ver = 26;

  TestReader r(Archive({old_method, encrypted, good, v26}));
  const int expected[] = {kExtractUnsupported, kExtractEncrypted, kExtractOk, kExtractOk};
  int end = r.First();
  for (int want : expected) {
    ASSERT_EQ(end, 0);
    EXPECT_EQ(r.Extract(), want) << r.Name();
    end = r.Next();
  }
  EXPECT_TRUE(r.Output() == Text(w.out));
}
