#include "builder/build_log.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>

#include "win/text.h"
#include "builder/work_folder.h"

std::wstring BuildLogFolderPath() {
  PWSTR local = nullptr;
  std::wstring folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local)) && *local)
    folder = std::wstring(local) + L"\\USBWizard\\";
  CoTaskMemFree(local);
  return folder;
}

namespace {

// What the handle shows: a folder (or a file with `folder` false) that is no link and, for a
// file, has no other name.
bool IsPlain(HANDLE item, bool folder) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(item, &info)) return false;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
  if (folder) return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && info.nNumberOfLinks == 1;
}

// The path's own attributes say no link (Wine reports a Unix link as a reparse point here only).
bool PathIsNoLink(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace

BuildLog::BuildLog(const std::wstring& folder) {
  if (folder.empty()) return;
  const std::wstring folder_path = folder.substr(0, folder.size() - 1);
  const win::UniqueLocal security = LogFolderSecurity();
  if (!security) return;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, security.get(), FALSE};
  CreateDirectoryW(folder_path.c_str(), &attributes);  // or there already
  folder_.reset(CreateFileW(folder_path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!folder_ || !PathIsNoLink(folder_path) || !IsPlain(folder_.get(), true)) {
    folder_.reset();
    return;
  }
  const std::wstring path = folder + kBuildLogName;
  // Opened as it is, without emptying it, until the handle shows what it is.
  file_.reset(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file_ || !PathIsNoLink(path) || !IsPlain(file_.get(), false) || !SetEndOfFile(file_.get())) {
    file_.reset();
    return;
  }
  path_ = path;
}

void BuildLog::Line(const std::wstring& text) {
  if (!file_) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t stamp[32];
  std::swprintf(stamp, 32, L"%04u-%02u-%02u %02u:%02u:%02u.%03u  ", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  const std::string bytes = win::Narrow(stamp + text + L"\r\n");
  DWORD written = 0;
  WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
