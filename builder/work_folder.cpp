#include "builder/work_folder.h"

#include <windows.h>
#include <ntsecapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <cwctype>
#include <utility>
#include <vector>

#include "unpack/folder_files.h"
#include "unpack/urar_library.h"
#include "win/resource.h"

namespace {

std::wstring WithoutTrailingBackslash(std::wstring path) {
  while (path.size() > 1 && path.back() == L'\\') path.pop_back();
  return path;
}

// Opens `path` itself, never what a link there points to, for listing and removal: held without
// delete sharing, so it stays the object checked until it is gone.
win::UniqueFile OpenItself(const std::wstring& path) {
  return win::UniqueFile(
      CreateFileW(path.c_str(), DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// A folder to enter: a directory and no link, by its open handle and by the path's own attributes
// (Wine reports a Unix link as a reparse point only in the latter).
bool IsPlainFolder(HANDLE item, DWORD listed_attributes) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(item, &info)) return false;
  const DWORD attributes = info.dwFileAttributes | listed_attributes;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The entries of the open folder `item`, each with its attributes, read through the handle itself.
// False when the listing fails.
bool ListFolder(HANDLE item, std::vector<std::pair<std::wstring, DWORD>>& entries) {
  alignas(8) static thread_local unsigned char buffer[64 * 1024];
  FILE_INFO_BY_HANDLE_CLASS next = FileIdBothDirectoryRestartInfo;
  while (GetFileInformationByHandleEx(item, next, buffer, sizeof buffer)) {
    next = FileIdBothDirectoryInfo;
    for (const unsigned char* at = buffer;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
      std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..")
        entries.emplace_back(std::move(name), entry->FileAttributes);
      if (entry->NextEntryOffset == 0) break;
      at += entry->NextEntryOffset;
    }
  }
  return GetLastError() == ERROR_NO_MORE_FILES;
}

// Removes `path` through a handle of its own: a file or a link goes as itself; a folder is
// emptied the same way first. Each level stays open while the levels below it go, so no path
// used here can be redirected meanwhile.
bool RemoveWithoutFollowing(const std::wstring& path, DWORD listed_attributes) {
  const win::UniqueFile item = OpenItself(path);
  if (!item) return false;
  if (IsPlainFolder(item.get(), listed_attributes)) {
    std::vector<std::pair<std::wstring, DWORD>> entries;
    if (!ListFolder(item.get(), entries)) return false;
    bool emptied = true;
    for (const auto& [name, attributes] : entries)
      emptied = RemoveWithoutFollowing(path + L"\\" + name, attributes) && emptied;
    if (!emptied) return false;
  }
  FILE_DISPOSITION_INFO disposition{TRUE};
  return SetFileInformationByHandle(item.get(), FileDispositionInfo, &disposition,
                                    sizeof disposition);
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

bool IsLocalFixedFolder(const std::wstring& folder) {
  if (folder.size() < 3 || !iswalpha(folder[0]) || folder[1] != L':' || folder[2] != L'\\')
    return false;
  const wchar_t root[] = {folder[0], L':', L'\\', L'\0'};
  return GetDriveTypeW(root) == DRIVE_FIXED;
}

std::wstring WorkFolderPath() {
  // From the machine's registry, which only administrators write; the environment's
  // %ProgramData% is the user's to set.
  PWSTR data = nullptr;
  std::wstring base;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &data))) base = data;
  CoTaskMemFree(data);
  base = WithoutTrailingBackslash(base);
  unsigned char random[16];
  if (!IsLocalFixedFolder(base + L"\\") || !RtlGenRandom(random, sizeof random)) return {};
  std::wstring name = L"\\USBWizard.";
  for (unsigned char byte : random) {
    name += L"0123456789abcdef"[byte >> 4];
    name += L"0123456789abcdef"[byte & 15];
  }
  return base + name + L"\\";
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
  const std::wstring path = WithoutTrailingBackslash(folder);
  const win::UniqueLocal security = WorkFolderSecurity();
  if (path.empty() || !security) return {};
  SECURITY_ATTRIBUTES attributes{sizeof attributes, security.get(), FALSE};
  // Made here with its DACL in one step, or not at all: whatever is at the path stays untouched.
  if (!CreateDirectoryW(path.c_str(), &attributes)) return {};
  win::UniqueFile held(CreateFileW(
      path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!held || !IsPlainFolder(held.get(), GetFileAttributesW(path.c_str()))) return {};
  return held;
}

bool ExtractUrarLibrary(const std::wstring& folder) {
  const std::string_view library = win::ResourceBytes(nullptr, L"URAR");
  return !library.empty() &&
         WriteFolderFile(folder, kUrarLibraryFile, library.data(), library.size());
}
