#include "builder/work_folder.h"

#include <windows.h>
#include <sddl.h>

#include "unpack/folder_files.h"
#include "unpack/urar_library.h"
#include "win/resource.h"

namespace {

std::wstring WithoutTrailingBackslash(std::wstring path) {
  while (path.size() > 1 && path.back() == L'\\') path.pop_back();
  return path;
}

// `attributes` are the path's own (GetFileAttributesW and directory listings report a link's,
// not its target's).
bool RemoveWithoutFollowing(const std::wstring& path, DWORD attributes) {
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return DeleteFileW(path.c_str());
  // A directory link goes as RemoveDirectoryW removes it: the link alone.
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return RemoveDirectoryW(path.c_str());
  bool emptied = true;
  {
    // Held without delete sharing while its entries go, so it cannot be swapped for a link.
    const win::UniqueFile held(CreateFileW(
        path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!held) return false;
    WIN32_FIND_DATAW found;
    const win::UniqueFind listing(FindFirstFileW((path + L"\\*").c_str(), &found));
    if (!listing) return false;
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      emptied = RemoveWithoutFollowing(path + L"\\" + name, found.dwFileAttributes) && emptied;
    } while (FindNextFileW(listing.get(), &found));
  }
  return emptied && RemoveDirectoryW(path.c_str());
}

// P: protected, nothing inherited from the parent; OICI: what is made inside inherits the same.
win::UniqueLocal Security(const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                            nullptr))
    return {};
  return win::UniqueLocal(descriptor);
}

}  // namespace

std::wstring WorkFolderFromTempPath(const std::wstring& temp_path) {
  std::wstring folder = temp_path;
  if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
  return folder + L"USBWizard\\";
}

std::wstring WorkFolderPath() {
  wchar_t temp[MAX_PATH + 1] = L"";
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  return WorkFolderFromTempPath(length <= MAX_PATH ? std::wstring(temp, length) : std::wstring());
}

bool ResetWorkFolder(const std::wstring& folder) {
  const std::wstring path = WithoutTrailingBackslash(folder);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  RemoveWithoutFollowing(path, attributes);
  return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

win::UniqueLocal WorkFolderSecurity() { return Security(L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)"); }

win::UniqueLocal LogFolderSecurity() {
  // AU: authenticated users read; only the elevated program writes, so nothing can be planted.
  return Security(L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FR;;;AU)");
}

win::UniqueFile CreateWorkFolder(const std::wstring& folder) {
  return CreateFolderAfresh(folder, WorkFolderSecurity());
}

win::UniqueFile CreateFolderAfresh(const std::wstring& folder, const win::UniqueLocal& security) {
  const std::wstring path = WithoutTrailingBackslash(folder);
  if (!security || !ResetWorkFolder(path)) return {};
  SECURITY_ATTRIBUTES attributes{sizeof attributes, security.get(), FALSE};
  // Fails when anything was put at the path since the reset: the folder is made here or not at
  // all.
  if (!CreateDirectoryW(path.c_str(), &attributes)) return {};
  return win::UniqueFile(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                     nullptr));
}

bool ExtractUrarLibrary(const std::wstring& folder) {
  const std::string_view library = win::ResourceBytes(nullptr, L"URAR");
  return !library.empty() &&
         WriteFolderFile(folder, kUrarLibraryFile, library.data(), library.size());
}
