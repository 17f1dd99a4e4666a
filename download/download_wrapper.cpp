#include "download/download_wrapper.h"

#include "download/download_engine.h"
#include "win/unique_resource.h"

bool DownloadWrapper::Start(HWND main_window) {
  InitializeEngine(main_window);
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER,
                    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
                    KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
    return true;
  win::UniqueRegKey key(raw);
  DWORD enabled = 0;
  DWORD size = sizeof(enabled);
  if (RegQueryValueExW(key.get(), L"ProxyEnable", nullptr, nullptr,
                       reinterpret_cast<BYTE*>(&enabled), &size) == ERROR_SUCCESS &&
      enabled == 1)
    SetProxyFlag(1);
  return true;
}

bool DownloadWrapper::Download(const wchar_t* url, const wchar_t* output_path,
                               DownloadProgressCallback callback, void* callback_context,
                               DownloadOutcome* outcome) {
  return DownloadUrlToFile(url, output_path, kStallLimitMs, callback, callback_context, outcome);
}

bool DownloadWrapper::Stop() { return ShutdownEngine(); }
