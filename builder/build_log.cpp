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

BuildLog::BuildLog(const std::wstring& folder) {
  if (folder.empty()) return;
  folder_ = CreateFolderAfresh(folder, LogFolderSecurity());
  if (!folder_) return;
  const std::wstring path = folder + kBuildLogName;
  // CREATE_NEW in the folder just made: nothing can be at the name, so nothing is followed.
  file_.reset(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (file_) path_ = path;
}

void BuildLog::Line(const std::wstring& text) {
  if (!file_) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t stamp[32];
  std::swprintf(stamp, 32, L"%04u-%02u-%02u %02u:%02u:%02u.%03u  ", now.wYear, now.wMonth,
                now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  const std::string bytes = win::Narrow(stamp + text + L"\r\n");
  DWORD written = 0;
  WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
