#include "DownloadWrapper.h"

#include "DownloadEngine.h"
#include "WinHandles.h"

bool DownloadWrapper::Start(HWND mainWindow) {
    InitializeEngine(mainWindow);
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER,
                      L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
                      KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
        return true;
    UniqueRegKey key(raw);
    DWORD enabled = 0;
    DWORD size = sizeof(enabled);
    if (RegQueryValueExW(key.get(), L"ProxyEnable", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&enabled), &size) == ERROR_SUCCESS &&
        enabled == 1)
        SetProxyFlag(1);
    return true;
}

bool DownloadWrapper::Download(const wchar_t* url, const wchar_t* outputPath,
                               DownloadProgressCallback callback, void* callbackContext) {
    return DownloadUrlToFile(url, outputPath, kTimeLimitMs, callback, callbackContext);
}

bool DownloadWrapper::Stop() { return ShutdownEngine(); }
