// Points this process's HKEY_CURRENT_USER at a private volatile key (RegOverridePredefKey), so a
// test can give WinINet and the download wrapper its own Internet Settings without touching the
// Wine prefix that other tests share. Undone, and the key deleted, on destruction.
#pragma once

#include <windows.h>

#include <string>

class ProxySettingsOverride {
 public:
  ProxySettingsOverride();
  ~ProxySettingsOverride();
  ProxySettingsOverride(const ProxySettingsOverride&) = delete;
  ProxySettingsOverride& operator=(const ProxySettingsOverride&) = delete;

  // Writes "ProxyEnable" (as REG_DWORD) and, when not empty, "ProxyServer".
  void Set(DWORD proxy_enable, const std::wstring& proxy_server = L"");
  // Writes "ProxyEnable" with any type and bytes.
  void SetRaw(DWORD type, const void* data, DWORD size);
  void RemoveInternetSettings();

 private:
  std::wstring name_;
  HKEY root_ = nullptr;
};
