// The working folder: its path from the temporary folder, its reset through the shell's delete,
// and the library written out of the program's "URAR" resource (this test carries one, stored
// under language 3082 as the program does, with this file's text as its bytes).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/files.h"
#include "support/scratch_folder.h"
#include "unpack/folder_files.h"
#include "work_folder.h"

namespace {

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(WorkFolder, SameFolderWithOrWithoutTheTrailingBackslash) {
  EXPECT_EQ(WorkFolderFromTempPath(L"C:\\Temp"), L"C:\\Temp\\USBWizard\\");
  EXPECT_EQ(WorkFolderFromTempPath(L"C:\\Temp\\"), L"C:\\Temp\\USBWizard\\");
  EXPECT_EQ(WorkFolderFromTempPath(L""), L"USBWizard\\");
  const std::wstring folder = WorkFolderPath();
  EXPECT_GT(folder.size(), std::wstring(L"\\USBWizard\\").size());
  EXPECT_EQ(folder.substr(folder.size() - 11), L"\\USBWizard\\");
}

// What an earlier run left, folders and files, goes at once; a missing folder is no error.
TEST(WorkFolder, ResetDeletesTheFolderWithEverythingInIt) {
  ScratchFolder scratch(L"work folder reset");
  const std::wstring folder = scratch.Path() + L"USBWizard\\";
  ASSERT_TRUE(WriteFolderFile(folder, L"boot\\deep\\x.bin", "x", 1));
  ASSERT_TRUE(WriteFolderFile(folder, L"scanner.zip", "zip", 3));
  ResetWorkFolder(folder);
  EXPECT_FALSE(Exists(folder));
  EXPECT_TRUE(Exists(scratch.Path()));
  ResetWorkFolder(folder);
  EXPECT_FALSE(Exists(folder));
}

TEST(WorkFolder, TheLibraryIsWrittenOutOfTheResource) {
  ScratchFolder folder(L"work folder library");
  ExtractUrarLibrary(folder.Path());
  EXPECT_EQ(ReadFileBytes(folder.Path() + L"zevurar.dll"), ReadFileBytes(RESOURCE_PAYLOAD));
  EXPECT_FALSE(ReadFileBytes(RESOURCE_PAYLOAD).empty());
}

}  // namespace
