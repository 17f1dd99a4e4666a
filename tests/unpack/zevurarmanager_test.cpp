// The unpack client over the real extraction library: binding, unpacking archives made by the
// RAR writer into a scratch folder, and the refusal of every name that would leave it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "standins/rar_block_writer.h"
#include "standins/rar_writer.h"
#include "unpack/zevurarmanager.h"

namespace {

std::wstring Widen(const char* text) {
  std::wstring wide;
  for (; *text; ++text) wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
  return wide;
}

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed) {
  std::vector<std::uint8_t> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * seed + (i >> 8));
  return data;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::uint8_t> Contents(const std::wstring& path) {
  auto bytes = ReadWholeFile(path);
  EXPECT_TRUE(bytes) << "missing " << std::string(path.begin(), path.end());
  return bytes ? *bytes : std::vector<std::uint8_t>();
}

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path);
      else
        DeleteFileW(path.c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

// A scratch folder with the real library in it, like the working folder, and an output folder
// below it, so that an escape from the output folder would land in the scratch folder.
class UnpackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    scratch_ = std::wstring(temp) + L"unpack_test_" + std::to_wstring(GetCurrentProcessId());
    RemoveTree(scratch_);
    ASSERT_TRUE(CreateDirectoryW(scratch_.c_str(), nullptr));
    work_ = scratch_ + L"\\";
    ASSERT_TRUE(CopyFileW(Widen(ZEVURAR_DLL).c_str(), (work_ + L"zevurar.dll").c_str(), FALSE));
    out_ = scratch_ + L"\\out\\";
    ASSERT_TRUE(CreateDirectoryW(out_.c_str(), nullptr));
    ASSERT_TRUE(LoadUrarLibrary(library_, work_));
  }
  void TearDown() override {
    FreeUrarLibrary(library_);
    RemoveTree(scratch_);
  }

  std::wstring WriteArchive(const std::vector<rar_writer::Entry>& entries) {
    const auto bytes = rar_writer::BuildArchive(entries);
    const std::wstring path = work_ + L"archive.zip";
    EXPECT_TRUE(WriteFolderFile(scratch_, L"archive.zip", bytes.data(), bytes.size()));
    return path;
  }

  bool Unpack(const std::vector<rar_writer::Entry>& entries) {
    return UnpackArchive(library_, WriteArchive(entries), out_);
  }

  std::wstring scratch_, work_, out_;
  UrarLibrary library_;
};

TEST_F(UnpackTest, BindsAllSixEntryPointsAndUnbinds) {
  EXPECT_TRUE(library_.module && library_.URARInitialize && library_.URARFinalize &&
              library_.URARDoAction && library_.URARGetSizeBuffer && library_.URARGetBuffer &&
              library_.URARGetLastError);
  FreeUrarLibrary(library_);
  EXPECT_FALSE(library_.module || library_.URARInitialize || library_.URARGetLastError);
  EXPECT_EQ(GetModuleHandleW((work_ + L"zevurar.dll").c_str()), nullptr);
  EXPECT_FALSE(UnpackArchive(library_, WriteArchive({{"a.txt", Bytes("a")}}), out_));
}

TEST_F(UnpackTest, BindingFailsWithoutTheLibraryOrWithAnEntryPointMissing) {
  UrarLibrary other;
  EXPECT_FALSE(LoadUrarLibrary(other, out_));
  EXPECT_FALSE(other.module || other.URARInitialize);

  std::wstring incomplete = Widen(INCOMPLETE_DLL);
  incomplete.resize(incomplete.find_last_of(L"/\\"));
  EXPECT_FALSE(LoadUrarLibrary(other, incomplete));
  EXPECT_FALSE(other.module || other.URARInitialize || other.URARGetBuffer);
  EXPECT_EQ(GetModuleHandleW((incomplete + L"\\zevurar.dll").c_str()), nullptr);
}

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
  entries[6] = {"boot\\small.cfg", Bytes("replaced")};
  ASSERT_TRUE(Unpack(entries));

  EXPECT_EQ(Contents(out_ + L"boot\\small.cfg"), Bytes("replaced"));
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

// A name that would leave the output folder fails the unpacking before anything of it is
// written; entries before it stay.
TEST_F(UnpackTest, RefusesNamesThatLeaveTheOutputFolder) {
  const char* const hostile[] = {
      "..\\escaped.txt", "../escaped.txt", "ok\\..\\..\\escaped.txt", "\\escaped.txt",
      "/escaped.txt", "C:escaped.txt", "C:\\escaped.txt", "good.txt:stream",
      "ok\\. .\\escaped.txt", "...\\escaped.txt", "CON", "ok\\nul.txt", "ok\\COM1", "ok\\"};
  for (const char* name : hostile) {
    SCOPED_TRACE(name);
    ASSERT_FALSE(Unpack({{"first.txt", Bytes("1")}, {name, Bytes("escape")}, {"last.txt", Bytes("3")}}));
    EXPECT_TRUE(Exists(out_ + L"first.txt"));
    EXPECT_FALSE(Exists(out_ + L"last.txt"));
    EXPECT_FALSE(Exists(scratch_ + L"\\escaped.txt"));
    EXPECT_FALSE(Exists(out_ + L"good.txt"));
    DeleteFileW((out_ + L"first.txt").c_str());
  }
}

// Names that only look odd stay inside the folder and are written.
TEST_F(UnpackTest, AcceptsDotsThatDoNotClimb) {
  ASSERT_TRUE(Unpack({{"..hidden", Bytes("1")}, {"a..b\\.\\c.txt", Bytes("2")},
                      {"console.txt", Bytes("3")}, {"COM10", Bytes("4")}}));
  EXPECT_EQ(Contents(out_ + L"..hidden"), Bytes("1"));
  EXPECT_EQ(Contents(out_ + L"a..b\\c.txt"), Bytes("2"));
  EXPECT_EQ(Contents(out_ + L"console.txt"), Bytes("3"));
  EXPECT_EQ(Contents(out_ + L"COM10"), Bytes("4"));
}

TEST_F(UnpackTest, ADamagedEntryFailsAndIsNotWritten) {
  rar_writer::Entry damaged{"damaged.bin", Pattern(500, 9)};
  damaged.damaged = true;
  EXPECT_FALSE(Unpack({{"first.txt", Bytes("1")}, damaged, {"last.txt", Bytes("3")}}));
  EXPECT_TRUE(Exists(out_ + L"first.txt"));
  EXPECT_FALSE(Exists(out_ + L"damaged.bin"));
  EXPECT_FALSE(Exists(out_ + L"last.txt"));
}

// A declared size beyond 32 bits cannot be fetched through the library's 32-bit sizes.
TEST_F(UnpackTest, AnEntryOverFourGigabytesFails) {
  rarblocks::FileEntry big;
  big.name = "big.bin";
  big.data = Bytes("tiny");
  big.flags = 0x100;  // high halves of both sizes follow
  big.high_unp_size = 1;
  rarblocks::Writer writer;
  writer.Marker().MainHeader().File(big).EndOfArchive();
  ASSERT_TRUE(WriteFolderFile(scratch_, L"big.zip", writer.bytes.data(), writer.bytes.size()));
  EXPECT_FALSE(UnpackArchive(library_, work_ + L"big.zip", out_));
  EXPECT_FALSE(Exists(out_ + L"big.bin"));
}

TEST_F(UnpackTest, AFileThatHoldsNoArchiveUnpacksToNothing) {
  const std::string page = "<html><body>404 Not Found</body></html>";
  ASSERT_TRUE(WriteFolderFile(scratch_, L"page.zip", page.data(), page.size()));
  EXPECT_TRUE(UnpackArchive(library_, work_ + L"page.zip", out_));
  ASSERT_TRUE(WriteFolderFile(scratch_, L"nothing.zip", "", 0));
  EXPECT_TRUE(UnpackArchive(library_, work_ + L"nothing.zip", out_));
  EXPECT_TRUE(RemoveDirectoryW(out_.c_str())) << "the output folder is not empty";
}

TEST_F(UnpackTest, FailsWhenTheArchiveCannotBeReadOrAnEntryCannotBeWritten) {
  EXPECT_FALSE(UnpackArchive(library_, work_ + L"missing.zip", out_));
  ASSERT_TRUE(CreateDirectoryW((out_ + L"taken").c_str(), nullptr));
  EXPECT_FALSE(Unpack({{"taken", Bytes("a folder is in the way")}}));
}

TEST(FolderFile, ReadsBackWhatItWroteAndRefusesUnsafeNames) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"folder_file_test";
  RemoveTree(folder);
  const auto data = Pattern(70000, 11);
  ASSERT_TRUE(WriteFolderFile(folder, L"x\\y/z.bin", data.data(), data.size()));
  EXPECT_EQ(ReadWholeFile(folder + L"\\x\\y\\z.bin"), data);
  EXPECT_EQ(ReadWholeFile(folder + L"\\missing"), std::nullopt);
  EXPECT_FALSE(WriteFolderFile(folder, L"..\\outside.bin", data.data(), data.size()));
  EXPECT_FALSE(Exists(std::wstring(temp) + L"outside.bin"));
  RemoveTree(folder);
}

}  // namespace
