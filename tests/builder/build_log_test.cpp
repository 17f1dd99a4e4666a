// The build's log: made afresh in its folder for each build, one time-stamped UTF-8 line per
// event, never through a planted link, and silent (never failing) when it cannot be made.
#include <gtest/gtest.h>
#include <windows.h>

#include <regex>
#include <string>

#include "builder/build_log.h"
#include "tests/support/files.h"
#include "tests/support/scratch_folder.h"
#include "unpack/folder_files.h"
#include "win/text.h"

namespace {

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Contents(const std::wstring& path) { return ReadFileBytes(path); }

TEST(BuildLog, LinesAreTimeStampedUtf8AndTheFolderIsHeld) {
  ScratchFolder scratch(L"build log lines");
  const std::wstring folder = scratch.Path() + L"USBWizard\\";
  {
    BuildLog log(folder);
    ASSERT_EQ(log.Path(), folder + L"last-build.log");
    log.Line(L"download started: http://127.0.0.1/tovixscourlet/rescuedisk/scanner.zip");
    log.Line(L"unpacked: rescue/a\u00f1o.txt (3 bytes)");
    // Held while the log is written: the folder cannot be swapped for a link meanwhile.
    EXPECT_FALSE(
        MoveFileW((scratch.Path() + L"USBWizard").c_str(), (scratch.Path() + L"moved").c_str()));
  }
  const std::regex expected(
      "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}  download started: "
      "http://127\\.0\\.0\\.1/tovixscourlet/rescuedisk/scanner\\.zip\r\n"
      "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}  unpacked: rescue/a\xc3\xb1o\\.txt "
      "\\(3 bytes\\)\r\n");
  const std::string written = Contents(folder + L"last-build.log");
  EXPECT_TRUE(std::regex_match(written, expected)) << written;
}

// Each build's log replaces the last one; nothing else in the user's folder is touched.
TEST(BuildLog, EachBuildReplacesTheLastLog) {
  ScratchFolder scratch(L"build log afresh");
  const std::wstring folder = scratch.Path() + L"USBWizard\\";
  BuildLog(folder).Line(L"first build, with a longer line than the second");
  ASSERT_TRUE(WriteFolderFile(folder, L"other.txt", "x", 1));
  BuildLog(folder).Line(L"second build");
  const std::string written = Contents(folder + L"last-build.log");
  EXPECT_EQ(written.find("first build"), std::string::npos) << written;
  EXPECT_NE(written.find("second build"), std::string::npos) << written;
  EXPECT_EQ(Contents(folder + L"other.txt"), "x");
}

// A log that is another name of someone else's file (a hard link planted in the user's folder)
// is not written: the other file keeps its bytes and the build goes on without a log.
TEST(BuildLog, AHardLinkPlantedAsTheLogIsNotWritten) {
  ScratchFolder scratch(L"build log hard link");
  const std::wstring folder = scratch.Path() + L"USBWizard\\";
  ASSERT_TRUE(WriteFolderFile(scratch.Path(), L"precious.txt", "keep", 4));
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_TRUE(CreateHardLinkW((folder + L"last-build.log").c_str(),
                              (scratch.Path() + L"precious.txt").c_str(), nullptr));
  BuildLog log(folder);
  log.Line(L"where does this go");
  EXPECT_TRUE(log.Path().empty());
  EXPECT_EQ(Contents(scratch.Path() + L"precious.txt"), "keep");
}

// No folder given, or one that cannot be made (its parent is a file): the log stays closed and
// its lines go nowhere.
TEST(BuildLog, ClosedWhenItCannotBeMade) {
  ScratchFolder scratch(L"build log closed");
  ASSERT_TRUE(WriteFolderFile(scratch.Path(), L"file", "x", 1));
  for (const std::wstring& folder : {std::wstring(), scratch.Path() + L"file\\USBWizard\\"}) {
    SCOPED_TRACE(testing::Message() << folder);
    BuildLog log(folder);
    EXPECT_TRUE(log.Path().empty());
    log.Line(L"nowhere");
  }
  EXPECT_EQ(Contents(scratch.Path() + L"file"), "x");
}

// A link planted at the log's folder is neither followed nor removed: the build has no log, and
// nothing is written where the link points.
TEST(BuildLog, APlantedLinkIsNeverFollowed) {
  const std::wstring planted = win::Widen(PLANTED_LINKS) + L"\\";
  const std::wstring folder = planted + L"link_at_path\\";
  BuildLog log(folder);
  log.Line(L"where does this go");
  EXPECT_TRUE(log.Path().empty());
  EXPECT_FALSE(Exists(planted + L"outside\\last-build.log"));
  EXPECT_TRUE(Exists(planted + L"outside\\canary.txt"));
  const DWORD at_path = GetFileAttributesW((planted + L"link_at_path").c_str());
  EXPECT_TRUE(at_path != INVALID_FILE_ATTRIBUTES && (at_path & FILE_ATTRIBUTE_REPARSE_POINT));
}

}  // namespace
