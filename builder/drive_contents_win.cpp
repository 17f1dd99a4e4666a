#include <windows.h>

#include "builder/drive_contents.h"
#include "win/no_disk_prompts.h"
#include "win/unique_resource.h"

namespace {

bool ListWindowsFolder(const std::wstring& folder, std::vector<FolderEntry>& entries) {
  WIN32_FIND_DATAW found{};
  // Basic information skips the short names; the large fetch asks for many entries per call.
  win::UniqueFind find(FindFirstFileExW((folder + L'*').c_str(), FindExInfoBasic, &found,
                                        FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!find) return false;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    FolderEntry entry;
    entry.name = name;
    entry.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entry.size = (uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
    entries.push_back(std::move(entry));
  } while (FindNextFileW(find.get(), &found));
  return true;
}

}  // namespace

DriveContents CountDriveContents(const std::wstring& root) {
  // The medium may have been pulled out since the drive was listed.
  const win::NoDiskPrompts quiet;
  return CountContents(root, ListWindowsFolder,
                       std::chrono::steady_clock::now() + std::chrono::seconds(1));
}
