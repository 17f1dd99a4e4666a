// The unpack client over the real extraction library: unpacking archives made by the RAR writer
// into a scratch folder, and the refusal of every name, size and archive it cannot write safely.
#include "tests/unpack/unpack_fixture.h"

namespace {

// Folders at any depth, with either separator, empty files, and a big entry between small ones
// (the work buffer grows and is then reused for shorter names and data).
TEST_F(UnpackTest, WritesEveryEntryBelowTheOutputFolder) {
  std::vector<rar_writer::Entry> entries(7);
  entries[0].name = "boot";
  entries[0].directory = true;
  entries[1] = {"boot\\small.cfg", Bytes("DEFAULT rescue\n")};
  entries[2] = {"a\\b\\c\\deep.bin", Pattern(4096, 3)};
  entries[3] = {"fwd/slash/f.bin", Pattern(10000, 5)};
  entries[4] = {"empty.dat", {}};
  entries[5] = {"boot\\after.bin", Pattern(300, 7)};
  entries[6] = {"boot\\last.cfg", Bytes("short")};
  ASSERT_TRUE(Unpack(entries));

  EXPECT_EQ(Contents(out_ + L"boot\\small.cfg"), entries[1].data);
  EXPECT_EQ(Contents(out_ + L"boot\\last.cfg"), entries[6].data);
  EXPECT_EQ(Contents(out_ + L"a\\b\\c\\deep.bin"), entries[2].data);
  EXPECT_EQ(Contents(out_ + L"fwd\\slash\\f.bin"), entries[3].data);
  EXPECT_EQ(Contents(out_ + L"empty.dat"), std::vector<std::uint8_t>());
  EXPECT_EQ(Contents(out_ + L"boot\\after.bin"), entries[5].data);
}

TEST_F(UnpackTest, NamesAreConvertedThroughTheAnsiCodePage) {
  if (GetACP() != 1252) GTEST_SKIP() << "needs the Western European ANSI code page";
  ASSERT_TRUE(Unpack({{"r\xE9sum\xE9.txt", Bytes("cv")}}));
  EXPECT_EQ(Contents(out_ + L"r\u00E9sum\u00E9.txt"), Bytes("cv"));
}

// A name that would leave the output folder, or that the library cannot hand out whole, fails
// the unpacking before anything is written.
TEST_F(UnpackTest, RefusesNamesThatLeaveTheOutputFolderBeforeWritingAnything) {
  const std::string long_name = std::string(300, 'n') + "\\x";
  const struct {
    const char* name;
    UnpackProblem problem;
  } hostile[] = {
      {"..\\escaped.txt", UnpackProblem::kUnsafeName},
      {"../escaped.txt", UnpackProblem::kUnsafeName},
      {"ok\\..\\..\\escaped.txt", UnpackProblem::kUnsafeName},
      {"\\escaped.txt", UnpackProblem::kUnsafeName},
      {"/escaped.txt", UnpackProblem::kUnsafeName},
      {"C:escaped.txt", UnpackProblem::kUnsafeName},
      {"C:\\escaped.txt", UnpackProblem::kUnsafeName},
      {"good.txt:stream", UnpackProblem::kUnsafeName},
      {"ok\\. .\\escaped.txt", UnpackProblem::kUnsafeName},
      {"...\\escaped.txt", UnpackProblem::kUnsafeName},
      {"CON", UnpackProblem::kUnsafeName},
      {"ok\\nul.txt", UnpackProblem::kUnsafeName},
      {"ok\\COM1", UnpackProblem::kUnsafeName},
      {"ok\\", UnpackProblem::kUnsafeName},
      {"COM\xB9", UnpackProblem::kUnsafeName},
      {"ok\\lpt\xB3.txt", UnpackProblem::kUnsafeName},
      {"COM0", UnpackProblem::kUnsafeName},
      {"ok\\LPT0.txt", UnpackProblem::kUnsafeName},
      {"clock$", UnpackProblem::kUnsafeName},
      {"a<b", UnpackProblem::kUnsafeName},
      {"a>b", UnpackProblem::kUnsafeName},
      {"a|b", UnpackProblem::kUnsafeName},
      {"a\"b", UnpackProblem::kUnsafeName},
      {"a?b", UnpackProblem::kUnsafeName},
      {"ok\\*.txt", UnpackProblem::kUnsafeName},
      {"tab\there", UnpackProblem::kUnsafeName},
      {"bell\x07", UnpackProblem::kUnsafeName},
      // Another name of an entry before it: trailing dots and spaces, other case.
      {"First.TXT", UnpackProblem::kUnsafeName},
      {"first.txt.", UnpackProblem::kUnsafeName},
      {"first.txt . ", UnpackProblem::kUnsafeName},
      {long_name.c_str(), UnpackProblem::kNameTooLong},
  };
  for (const auto& c : hostile) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(
        Unpack({{"first.txt", Bytes("1")}, {c.name, Bytes("escape")}, {"last.txt", Bytes("3")}}));
    EXPECT_EQ(report_.problem, c.problem);
    EXPECT_TRUE(OutputIsEmpty());
    EXPECT_FALSE(Exists(scratch_ + L"\\escaped.txt"));
  }
}

// Names that only look odd stay inside the folder and are written.
TEST_F(UnpackTest, AcceptsDotsThatDoNotClimb) {
  ASSERT_TRUE(Unpack({{"..hidden", Bytes("1")},
                      {"a..b\\.\\c.txt", Bytes("2")},
                      {"console.txt", Bytes("3")},
                      {"COM10", Bytes("4")}}));
  EXPECT_EQ(Contents(out_ + L"..hidden"), Bytes("1"));
  EXPECT_EQ(Contents(out_ + L"a..b\\c.txt"), Bytes("2"));
  EXPECT_EQ(Contents(out_ + L"console.txt"), Bytes("3"));
  EXPECT_EQ(Contents(out_ + L"COM10"), Bytes("4"));
}

// A cancel reaches the unpacking inside an entry: the check runs while its bytes are written, so
// a cancel asked once the file exists stops it there, and the part written is deleted.
TEST_F(UnpackTest, ACancelStopsInsideAnEntryAndLeavesNoPartOfIt) {
  const std::wstring big = out_ + L"big.bin";
  EXPECT_FALSE(UnpackArchive(
      library_, WriteArchive({{"first.txt", Bytes("1")}, {"big.bin", Pattern(1 << 20, 5)}}), out_,
      &report_, nullptr, nullptr, [&] { return Exists(big); }));
  EXPECT_EQ(report_.problem, UnpackProblem::kCancelled);
  EXPECT_EQ(report_.entry, L"big.bin");
  EXPECT_EQ(Contents(out_ + L"first.txt"), Bytes("1"));
  EXPECT_FALSE(Exists(big));
  // Between entries: a cancel asked before the first entry writes nothing.
  EXPECT_FALSE(UnpackArchive(library_, WriteArchive({{"x.txt", Bytes("x")}}), out_, &report_,
                             nullptr, nullptr, [] { return true; }));
  EXPECT_EQ(report_.problem, UnpackProblem::kCancelled);
  EXPECT_FALSE(Exists(out_ + L"x.txt"));
}

TEST_F(UnpackTest, ADamagedEntryFailsWithTheLibrarysReasonAndIsNotWritten) {
  rar_writer::Entry damaged{"damaged.bin", Pattern(500, 9)};
  damaged.damaged = true;
  EXPECT_FALSE(Unpack({{"first.txt", Bytes("1")}, damaged, {"last.txt", Bytes("3")}}));
  EXPECT_EQ(report_.problem, UnpackProblem::kEntryFailed);
  EXPECT_EQ(report_.entry, L"damaged.bin");
  EXPECT_EQ(report_.library_code, 8) << "checksum mismatch";
  EXPECT_FALSE(Exists(out_ + L"damaged.bin"));
  EXPECT_FALSE(Exists(out_ + L"last.txt"));
}

// Declared sizes are weighed in 64 bits before anything is written: a total beyond the volume, or
// one that does not even fit 64 bits, is refused.
TEST_F(UnpackTest, RefusesSizesItCannotHoldBeforeWritingAnything) {
  auto archive_of = [](std::uint32_t high, std::uint32_t low) {
    rarblocks::FileEntry big;
    big.name = "big.bin";
    big.data = Bytes("tiny");
    big.flags = high ? 0x100 : 0;  // high halves of both sizes follow
    big.high_unp_size = high;
    big.unp_size_from_data = false;
    big.unp_size = low;
    rarblocks::FileEntry first;
    first.name = "first.txt";
    first.data = Bytes("1");
    rarblocks::Writer writer;
    writer.Marker().MainHeader().File(first).File(big).EndOfArchive();
    return writer.bytes;
  };
  ULARGE_INTEGER free_bytes{};
  ASSERT_TRUE(GetDiskFreeSpaceExW(out_.c_str(), &free_bytes, nullptr, nullptr));
  // Enough entries of almost 2 GiB each to overflow the volume, each holding 4 bytes.
  rarblocks::Writer too_many;
  too_many.Marker().MainHeader();
  constexpr std::uint32_t kAlmost2GiB = 0x7FFFFFFF;
  for (std::uint64_t i = 0; i <= free_bytes.QuadPart / kAlmost2GiB; ++i) {
    rarblocks::FileEntry f;
    f.name = "big" + std::to_string(i) + ".bin";
    f.data = Bytes("tiny");
    f.unp_size_from_data = false;
    f.unp_size = kAlmost2GiB;
    too_many.File(f);
  }
  too_many.EndOfArchive();
  const struct {
    const char* what;
    std::vector<std::uint8_t> archive;
    UnpackProblem problem;
  } cases[] = {
      {"one entry over 4 GiB beyond the volume",
       archive_of(static_cast<std::uint32_t>(free_bytes.QuadPart >> 32) + 1, 4),
       UnpackProblem::kNotEnoughSpace},
      {"a total beyond 64 bits", archive_of(0xFFFFFFFFu, 0xFFFFFFFFu),
       UnpackProblem::kEntryTooLarge},
      {"more than the volume holds", too_many.bytes, UnpackProblem::kNotEnoughSpace},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(UnpackBytes(c.archive));
    EXPECT_EQ(report_.problem, c.problem);
    EXPECT_TRUE(OutputIsEmpty());
  }
}

// Only a whole RAR archive with at least one entry unpacks: an error page, an empty body, an
// archive cut anywhere, or one that continues in another volume fails before anything is written.
TEST_F(UnpackTest, ABodyThatIsNotAWholeArchiveFails) {
  const auto whole =
      rar_writer::BuildArchive({{"ColdInstall.exe", Pattern(3000, 3)}, {"b.txt", Bytes("b")}});
  rarblocks::FileEntry split;
  split.name = "part.bin";
  split.data = Bytes("first half");
  split.flags = 0x02;
  rarblocks::Writer volume;
  volume.Marker().MainHeader().File(split);
  const std::size_t second_header = 20 + 32 + 15 + 3000;
  const struct {
    const char* what;
    std::vector<std::uint8_t> bytes;
    UnpackProblem problem;
  } cases[] = {
      {"an HTML error page", Bytes("<html><body>404 Not Found</body></html>"),
       UnpackProblem::kNotAnArchive},
      {"an empty body", {}, UnpackProblem::kNotAnArchive},
      {"no entry", rar_writer::BuildArchive({}), UnpackProblem::kNoEntries},
      {"cut inside the second header",
       {whole.begin(), whole.begin() + second_header + 10},
       UnpackProblem::kArchiveCut},
      {"cut inside the end block", {whole.begin(), whole.end() - 2}, UnpackProblem::kArchiveCut},
      {"first volume of a set", volume.bytes, UnpackProblem::kVolumeSet},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(UnpackBytes(c.bytes));
    EXPECT_EQ(report_.problem, c.problem);
    EXPECT_TRUE(OutputIsEmpty());
  }
  EXPECT_TRUE(UnpackBytes(whole));
  EXPECT_EQ(report_.problem, UnpackProblem::kNone);
}

// Both archives of a build unpack into one folder beside the files the program wrote itself: an
// entry that names one of those, or an entry of the other archive, under any spelling Windows
// takes for it, is refused before anything is written; and a file already there (an 8.3 alias
// that the name check cannot see) is never overwritten.
TEST_F(UnpackTest, EntriesNeverStandForAnotherFileOfTheBuild) {
  const std::vector<std::wstring> own = {L"zevurar.dll", L"scanner.zip", L"system.zip"};
  for (const char* alias : {"ZEVURAR.DLL", "zevurar.dll.", "zevurar.dll ", "Scanner.Zip. ."}) {
    SCOPED_TRACE(alias);
    FolderNames names;
    for (const std::wstring& name : own) ASSERT_TRUE(names.Claim(name));
    ASSERT_FALSE(UnpackArchive(library_, WriteArchive({{"a.txt", Bytes("a")}, {alias, Bytes("x")}}),
                               out_, &report_, nullptr, &names));
    EXPECT_EQ(report_.problem, UnpackProblem::kUnsafeName);
    EXPECT_TRUE(OutputIsEmpty());
  }
  FolderNames names;
  ASSERT_TRUE(UnpackArchive(library_, WriteArchive({{"boot\\Kernel", Bytes("k")}}), out_, &report_,
                            nullptr, &names));
  EXPECT_FALSE(UnpackArchive(library_, WriteArchive({{"BOOT/kernel.", Bytes("evil")}}), out_,
                             &report_, nullptr, &names));
  EXPECT_EQ(report_.problem, UnpackProblem::kUnsafeName);
  EXPECT_EQ(Contents(out_ + L"boot\\Kernel"), Bytes("k"));

  ASSERT_TRUE(WriteFolderFile(scratch_ + L"\\out", L"PROGRA~1.TXT", "mine", 4));
  EXPECT_FALSE(Unpack({{"progra~1.txt", Bytes("evil")}}));
  EXPECT_EQ(report_.problem, UnpackProblem::kWriteFailed);
  EXPECT_EQ(Contents(out_ + L"PROGRA~1.TXT"), Bytes("mine"));
}

// An archive beyond 4 GiB: two blocks of 2 GiB of other data before the entries, whose headers
// lie past 4 GiB. Their data are a hole of a sparse file, so the archive costs no disk; the client
// maps it whole, and the library walks it with 64-bit offsets.
TEST_F(UnpackTest, UnpacksAnArchiveBeyond4GiB) {
  constexpr std::uint32_t kHole = 0x80000000u;
  // A block of a type the walk passes over, declaring kHole bytes of data (ADD_SIZE).
  std::vector<std::uint8_t> other = {0, 0, 0x7A, 0x00, 0x80, 11, 0, 0, 0, 0, 0x80};
  const std::uint32_t crc = rarblocks::Crc32(other.data() + 2, other.size() - 2);
  other[0] = static_cast<std::uint8_t>(crc);
  other[1] = static_cast<std::uint8_t>(crc >> 8);
  // Marker and main header (20 bytes), then the entries.
  const std::vector<std::uint8_t> archive =
      rar_writer::BuildArchive({{"a.txt", Bytes("past 4 GiB")}, {"b\\c.bin", Pattern(5000, 7)}});
  const std::wstring path = work_ + L"large.zip";
  {
    win::UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    auto put = [&](std::uint64_t at, const std::uint8_t* data, std::size_t size) {
      LARGE_INTEGER position;
      position.QuadPart = static_cast<LONGLONG>(at);
      DWORD written = 0;
      EXPECT_TRUE(SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN));
      EXPECT_TRUE(WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr));
      EXPECT_EQ(written, size);
    };
    const std::uint64_t second = 20 + other.size() + kHole;
    put(0, archive.data(), 20);
    put(20, other.data(), other.size());
    put(second, other.data(), other.size());
    put(second + other.size() + kHole, archive.data() + 20, archive.size() - 20);
  }
  EXPECT_TRUE(UnpackArchive(library_, path, out_, &report_)) << static_cast<int>(report_.problem);
  EXPECT_EQ(Contents(out_ + L"a.txt"), Bytes("past 4 GiB"));
  EXPECT_EQ(Contents(out_ + L"b\\c.bin"), Pattern(5000, 7));
  DeleteFileW(path.c_str());
}

TEST_F(UnpackTest, FailsWhenTheArchiveCannotBeReadOrAnEntryCannotBeWritten) {
  EXPECT_FALSE(UnpackArchive(library_, work_ + L"missing.zip", out_, &report_));
  EXPECT_EQ(report_.problem, UnpackProblem::kUnreadableArchive);
  ASSERT_TRUE(CreateDirectoryW((out_ + L"taken").c_str(), nullptr));
  EXPECT_FALSE(Unpack({{"taken", Bytes("a folder is in the way")}}));
  EXPECT_EQ(report_.problem, UnpackProblem::kWriteFailed);
  EXPECT_EQ(report_.entry, L"taken");
}

}  // namespace
