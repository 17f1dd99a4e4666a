// The walk over blocks: which entries come out, in which order, and that every input ends.
#include <gtest/gtest.h>

#include "tests/urar/test_archives.h"
#include "urar/archive/archive_walk.h"

using rarblocks::FileEntry;
using rarblocks::Writer;

namespace {

FileEntry Directory(const std::string& name) {
  FileEntry d = Stored(name, "");
  d.flags = 0x80E0;
  d.attr = 0x10;
  return d;
}

struct WalkCase {
  const char* what;
  std::vector<uint8_t> archive;
  std::vector<std::string> names;
};

std::vector<WalkCase> WalkCases() {
  FileEntry a = Stored("a.txt", "alpha"), b = Stored("dir\\b.txt", "beta");
  std::vector<WalkCase> cases;
  auto add = [&](const char* what, std::vector<uint8_t> bytes, std::vector<std::string> names) {
    cases.push_back({what, std::move(bytes), std::move(names)});
  };
  add("two files around a directory",
      Writer().Marker().MainHeader().File(a).File(Directory("dir")).File(b).EndOfArchive().bytes,
      {"a.txt", "dir\\b.txt"});
  add("Rap! marker", Writer().Marker(true).MainHeader().File(a).File(b).bytes,
      {"a.txt", "dir\\b.txt"});
  add("encrypted block headers", Writer().Marker().MainHeader(0x80).File(a).bytes, {});
  add("unknown block with data passed over",
      Writer().Marker().MainHeader().File(a).Block(0x7A, 0x8000, {1, 2}, {9, 9, 9}).File(b).bytes,
      {"a.txt", "dir\\b.txt"});
  add("block 0x78 ends the walk",
      Writer().Marker().MainHeader().File(a).Block(0x78, 0).File(b).bytes, {"a.txt"});
  add("zero HEAD_SIZE counts as 7",
      Writer().Marker().MainHeader().File(a).Block(0x75, 0, {}, {}, 0).File(b).bytes,
      {"a.txt", "dir\\b.txt"});
  add("later main header skipped",
      Writer().Marker().MainHeader().File(a).MainHeader().File(b).bytes, {"a.txt", "dir\\b.txt"});
  add("no marker, main header first",
      [&] {
        Writer w;
        w.MainHeader().File(a);
        return w.bytes;
      }(),
      {"a.txt"});
  add("no marker, no main header",
      [&] {
        Writer w;
        w.File(a);
        return w.bytes;
      }(),
      {});
  add("marker without main header", Writer().Marker().File(a).bytes, {});
  add("fewer than 7 bytes", Bytes("Rar!\x1a"), {});
  add("empty buffer", {}, {});
  add("RAR 5 marker", Bytes(std::string("Rar!\x1a\x07\x01\x00", 8)), {});
  {
    FileEntry dir15 = Stored("old-dir", "");
    dir15.unp_ver = 15;
    dir15.attr = 0x10;
    add("UNP_VER 15 with directory attribute",
        Writer().Marker().MainHeader().File(dir15).File(a).bytes, {"a.txt"});
  }
  {
    FileEntry cont = a;
    cont.flags = 0x8001;
    add("first entry continued from a previous volume",
        Writer().Marker().MainHeader().File(cont).File(b).bytes, {});
    FileEntry split = a;
    split.flags = 0x8002;
    add("entry continued in the next volume ends the walk after it",
        Writer().Marker().MainHeader().File(split).File(b).bytes, {"a.txt"});
    FileEntry split_dir = Directory("d");
    split_dir.flags |= 0x02;
    add("directory continued in the next volume",
        Writer().Marker().MainHeader().File(split_dir).File(b).bytes, {});
  }
  {
    Writer w;
    w.Marker().MainHeader().File(a);
    // A file header cut inside its fixed fields: 11 bytes of base header, then the buffer ends.
    w.bytes.insert(w.bytes.end(), {0, 0, 0x74, 0x00, 0x80, 40, 0, 5, 0, 0, 0, 1, 2});
    add("truncated file header", w.bytes, {"a.txt"});
  }
  {
    // ADD_SIZE that wraps the 32-bit position back onto the first file header.
    Writer w;
    w.Marker().MainHeader().File(a);
    size_t wrap_at = w.bytes.size();
    w.Block(0x7A, 0x8000, {}, {});
    uint32_t back = uint32_t(0x100000000ull - 7 - (wrap_at - 20));
    for (int i = 0; i < 4; ++i) w.bytes[wrap_at + 7 + i] = uint8_t(back >> (8 * i));
    w.File(b);
    add("wrapping ADD_SIZE", w.bytes, {"a.txt"});
  }
  add("old format",
      Writer()
          .OldMainHeader(7)
          .OldFile("ONE.TXT", Bytes("one"))
          .OldFile("TWO.TXT", Bytes("two"))
          .bytes,
      {"ONE.TXT", "TWO.TXT"});
  add("old format header size 0, pack size 0",
      Writer().OldMainHeader(7).OldFile("LOOP", {}, 0, 0, 0).OldFile("NEVER", Bytes("x")).bytes,
      {"LOOP"});
  add("old format main header size 0", Writer().OldMainHeader(0).OldFile("A", Bytes("a")).bytes,
      {});
  add("old format directory by flags",
      Writer().OldMainHeader(7).OldFile("D", {}, 0, 0xE0).OldFile("F", Bytes("f")).bytes, {"F"});
  return cases;
}

}  // namespace

TEST(ArchiveWalk, YieldsTheFileEntriesInOrderAndEndsOnEveryInput) {
  for (const WalkCase& c : WalkCases()) {
    TestReader r(c.archive);
    EXPECT_EQ(r.Names(), c.names) << c.what;
  }
}

TEST(ArchiveWalk, LongNamesAreCutAndDataStillFound) {
  FileEntry f = Stored(std::string(300, 'n'), "payload");
  TestReader r(ArchiveOf({f, Stored("next", "x")}));
  ASSERT_EQ(r.First(), 0);
  EXPECT_EQ(r.Name(), std::string(259, 'n'));
  EXPECT_EQ(r.Extract(), 0);
  EXPECT_EQ(r.Output(), "payload");
  ASSERT_EQ(r.Next(), 0);
  EXPECT_EQ(r.Name(), "next");
}

TEST(ArchiveWalk, NameEndsAtItsFirstZeroByte) {
  FileEntry f = Stored(std::string("folder\\file.txt\0\x01\x02unicode", 24), "x");
  f.flags = 0x8200;
  TestReader r(ArchiveOf({f}));
  ASSERT_EQ(r.First(), 0);
  EXPECT_EQ(r.Name(), "folder\\file.txt");
}

TEST(ArchiveWalk, SizesNeedingMoreThan32BitsReportMinusOne) {
  FileEntry f = Stored("big", "x");
  f.flags = 0x8100;
  f.high_unp_size = 1;
  TestReader r(ArchiveOf({f}));
  ASSERT_EQ(r.First(), 0);
  EXPECT_EQ(kRarFormat.EntrySize(&r.reader()), -1);
}

TEST(ArchiveWalk, OldFormatBlocksFollowHeaderAndPackedSizes) {
  // Header sizes larger than the fields: the next header is at position + HEAD_SIZE + PACK_SIZE.
  Writer w;
  w.OldMainHeader(9);
  w.bytes.insert(w.bytes.end(), {0xAA, 0xBB});
  w.OldFile("A", Bytes("aaaa"), 0, 0, 21 + 1 + 3);
  w.bytes.insert(w.bytes.begin() + 9 + 22, {0, 0, 0});
  w.OldFile("B", Bytes("bb"));
  TestReader r(w.bytes);
  ASSERT_EQ(r.First(), 0);
  EXPECT_EQ(r.Name(), "A");
  EXPECT_EQ(r.Extract(), 0);
  EXPECT_EQ(r.Output(), "aaaa");
  ASSERT_EQ(r.Next(), 0);
  EXPECT_EQ(r.Name(), "B");
  EXPECT_EQ(r.Extract(), 0);
  EXPECT_EQ(r.Next(), kWalkCleanEnd);
}
