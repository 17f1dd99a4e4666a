// The working folder: its path from the temporary folder, its reset through the shell's delete,
// and the library written out of the program's "URAR" resource (this test carries one, stored
// under language 3082 as the program does, with this file's text as its bytes).
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "unpack/folder_files.h"
#include "work_folder.h"

namespace {

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring ScratchFolder(const wchar_t* name) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + name + std::to_wstring(GetCurrentProcessId()) + L"\\";
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
  const std::wstring folder = ScratchFolder(L"work folder reset ");
  ASSERT_TRUE(WriteFolderFile(folder, L"boot\\deep\\x.bin", "x", 1));
  ASSERT_TRUE(WriteFolderFile(folder, L"scanner.zip", "zip", 3));
  ResetWorkFolder(folder);
  EXPECT_FALSE(Exists(folder));
  ResetWorkFolder(folder);
  EXPECT_FALSE(Exists(folder));
}

TEST(WorkFolder, TheLibraryIsWrittenOutOfTheResource) {
  const std::wstring folder = ScratchFolder(L"work folder library ");
  ResetWorkFolder(folder);
  CreateDirectoryW(folder.c_str(), nullptr);
  ExtractUrarLibrary(folder);
  std::ifstream source(RESOURCE_PAYLOAD, std::ios::binary);
  const std::string expected{std::istreambuf_iterator<char>(source), {}};
  const auto written = ReadWholeFile(folder + L"zevurar.dll");
  ASSERT_TRUE(written);
  EXPECT_EQ(std::string(written->begin(), written->end()), expected);
  ResetWorkFolder(folder);
}

}  // namespace
