// The working folder: its path under %ProgramData% whatever TMP says, its removal without
// following links, its making in one step with an Administrators-and-SYSTEM-only DACL, and the
// library written out of the program's "URAR" resource (this test carries one, stored under
// language 3082 as the program does, with this file's text as its bytes).
//
// Links: Wine 8 cannot make one from a Windows program (CreateSymbolicLinkW reports success and
// makes nothing; FSCTL_SET_REPARSE_POINT answers ERROR_NOT_SUPPORTED), but it reports a Unix
// symbolic link to a folder as a reparse point. The build plants such links in PLANTED_LINKS
// (tests/wizard/CMakeLists.txt): `outside\canary.txt`, `link_at_path` -> outside, and
// `folder_with_link\inside` -> outside.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/scratch_folder.h"
#include "unpack/folder_files.h"
#include "win/text.h"
#include "builder/work_folder.h"

namespace {

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// TMP and TEMP are the user's to set (HKCU\Environment): a share, or a path too long for the
// buffer that the system then reports relative. The working folder never follows them: it is a
// fresh, unguessable name under the machine's %ProgramData% on a local fixed volume.
TEST(WorkFolder, IsAFreshNameUnderProgramDataWhateverTmpSays) {
  const std::wstring long_path = L"C:\\" + std::wstring(300, L'x');
  for (const std::wstring& temp : {std::wstring(L"\\\\server\\share\\temp"), long_path}) {
    SCOPED_TRACE(testing::Message() << temp.substr(0, 30));
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    SetEnvironmentVariableW(L"TEMP", temp.c_str());
    const std::wstring folder = WorkFolderPath();
    ASSERT_EQ(folder.size(), std::wstring(L"C:\\ProgramData\\USBWizard.\\").size() + 32);
    EXPECT_EQ(folder.substr(0, 25), L"C:\\ProgramData\\USBWizard.");
    EXPECT_NE(folder, WorkFolderPath());
    EXPECT_TRUE(IsLocalFixedFolder(folder));
  }
  // Only an absolute path on a local fixed volume will do (the tests' E: is removable).
  for (const wchar_t* refused :
       {L"", L"relative\\x", L"\\\\server\\share\\x", L"C:relative", L"\\\\?\\C:\\x", L"E:\\x"})
    EXPECT_FALSE(IsLocalFixedFolder(refused)) << refused;
}

// What an earlier run left, folders and files, goes at once; a missing folder is no error.
TEST(WorkFolder, ResetDeletesTheFolderWithEverythingInIt) {
  ScratchFolder scratch(L"work folder reset");
  const std::wstring folder = scratch.Path() + L"USBWizard\\";
  ASSERT_TRUE(WriteFolderFile(folder, L"boot\\deep\\x.bin", "x", 1));
  ASSERT_TRUE(WriteFolderFile(folder, L"scanner.zip", "zip", 3));
  EXPECT_TRUE(ResetWorkFolder(folder));
  EXPECT_FALSE(Exists(folder));
  EXPECT_TRUE(Exists(scratch.Path()));
  EXPECT_TRUE(ResetWorkFolder(folder));
  EXPECT_FALSE(Exists(folder));
}

// The folder is made in one step and held, so that it cannot be renamed or removed while the
// build runs. Whatever someone put at the path first (a folder of their own, a file) is neither
// used nor removed: the build gets no folder.
TEST(WorkFolder, IsMadeNewAndHeldOrNotAtAll) {
  ScratchFolder scratch(L"work folder new");
  const std::wstring folder = scratch.Path() + L"USBWizard\\";
  {
    win::UniqueFile held = CreateWorkFolder(folder);
    ASSERT_TRUE(held);
    EXPECT_EQ(GetFileAttributesW(folder.c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_FALSE(MoveFileW(folder.substr(0, folder.size() - 1).c_str(),
                           (scratch.Path() + L"moved").c_str()));
  }
  EXPECT_TRUE(ResetWorkFolder(folder));
  ASSERT_TRUE(WriteFolderFile(folder, L"boot\\planted.bin", "x", 1));
  ASSERT_TRUE(WriteFolderFile(scratch.Path(), L"USBWizard.file", "x", 1));
  for (const std::wstring& path : {folder, scratch.Path() + L"USBWizard.file\\"}) {
    SCOPED_TRACE(testing::Message() << path);
    EXPECT_FALSE(CreateWorkFolder(path));
  }
  EXPECT_TRUE(Exists(folder + L"boot\\planted.bin"));
  EXPECT_TRUE(Exists(scratch.Path() + L"USBWizard.file"));
}

// Protected (nothing inherited from the parent) with exactly these entries, passed on to
// everything made inside: full access for Administrators and for SYSTEM; for the log's folder,
// read access for every signed-in user as well, and no one else may write. (Wine 8 accepts a
// folder's descriptor and keeps none of it: what it reports back is made up from the Unix
// permissions. So the descriptor is checked as the program hands it to CreateDirectoryW.)
TEST(WorkFolderDacl, GrantsAdministratorsAndSystemOnly) {
  struct Entry {
    WELL_KNOWN_SID_TYPE sid;
    DWORD mask;
  };
  const Entry admin{WinBuiltinAdministratorsSid, FILE_ALL_ACCESS};
  const Entry system{WinLocalSystemSid, FILE_ALL_ACCESS};
  const struct {
    const char* name;
    win::UniqueLocal security;
    std::vector<Entry> entries;
  } cases[] = {
      {"working folder", WorkFolderSecurity(), {admin, system}},
      {"log folder",
       LogFolderSecurity(),
       {admin, system, {WinAuthenticatedUserSid, FILE_GENERIC_READ}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(c.security);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(c.security.get(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(c.security.get(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl);
    ASSERT_EQ(dacl->AceCount, c.entries.size());
    for (WORD i = 0; i < dacl->AceCount; ++i) {
      void* entry = nullptr;
      ASSERT_TRUE(GetAce(dacl, i, &entry));
      const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
      EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
      EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
      EXPECT_EQ(ace->Mask, c.entries[i].mask);
      EXPECT_TRUE(IsWellKnownSid(const_cast<DWORD*>(&ace->SidStart), c.entries[i].sid));
    }
  }
}

// A link at the path or inside the folder goes as a link or not at all: what it points to is
// never entered. Where the system cannot remove the link (Wine 8 cannot remove a Unix link to
// a folder), the reset says so and no folder is made: the build fails.
TEST(WorkFolderReparsePoint, LinksAreNeverFollowed) {
  const std::wstring planted = win::Widen(PLANTED_LINKS) + L"\\";
  const std::wstring canary = planted + L"outside\\canary.txt";
  ASSERT_TRUE(Exists(canary));
  for (const wchar_t* name : {L"link_at_path", L"folder_with_link"}) {
    SCOPED_TRACE(testing::Message() << name);
    const std::wstring path = planted + name + L"\\";
    ASSERT_TRUE(Exists(path));
    if (std::wstring(name) == L"folder_with_link") {
      DeleteFileW((path + L"plain.txt").c_str());  // an earlier run's, where a reset failed
      ASSERT_TRUE(WriteFolderFile(path, L"plain.txt", "x", 1));
    }
    const bool reset = ResetWorkFolder(path);
    EXPECT_TRUE(Exists(canary));
    EXPECT_EQ(reset, !Exists(path));
    EXPECT_FALSE(Exists(path + L"plain.txt"));
    EXPECT_EQ(static_cast<bool>(CreateWorkFolder(path)), reset);
    EXPECT_TRUE(Exists(canary));
  }
}

TEST(WorkFolder, TheLibraryIsWrittenOutOfTheResource) {
  ScratchFolder folder(L"work folder library");
  ASSERT_TRUE(ExtractUrarLibrary(folder.Path()));
  EXPECT_EQ(ReadFileBytes(folder.Path() + L"zevurar.dll"), ReadFileBytes(RESOURCE_PAYLOAD));
  EXPECT_FALSE(ReadFileBytes(RESOURCE_PAYLOAD).empty());
}

// A write that cannot happen fails the extraction: here a folder stands where the file goes.
TEST(WorkFolder, AFailedLibraryWriteIsReported) {
  ScratchFolder folder(L"work folder library fails");
  ASSERT_TRUE(CreateDirectoryW((folder.Path() + L"zevurar.dll").c_str(), nullptr));
  EXPECT_FALSE(ExtractUrarLibrary(folder.Path()));
}

}  // namespace
