#include "tests/download/proxy_settings_override.h"

#include <gtest/gtest.h>

#include "win/unique_resource.h"

namespace {
const wchar_t kInternetSettings[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
}

ProxySettingsOverride::ProxySettingsOverride()
    : name_(L"Software\\DownloadTestSettings-" + std::to_wstring(GetCurrentProcessId())) {
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, name_.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &root_, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, root_), ERROR_SUCCESS);
}

ProxySettingsOverride::~ProxySettingsOverride() {
  RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  if (root_) {
    RegDeleteTreeW(root_, nullptr);
    RegCloseKey(root_);
  }
  RegDeleteKeyW(HKEY_CURRENT_USER, name_.c_str());
}

void ProxySettingsOverride::SetRaw(DWORD type, const void* data, DWORD size) {
  win::UniqueRegKey key;
  ASSERT_EQ(RegCreateKeyExW(root_, kInternetSettings, 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key.get(), L"ProxyEnable", 0, type, static_cast<const BYTE*>(data), size);
}

void ProxySettingsOverride::Set(DWORD proxy_enable, const std::wstring& proxy_server) {
  SetRaw(REG_DWORD, &proxy_enable, sizeof(proxy_enable));
  if (proxy_server.empty()) return;
  win::UniqueRegKey key;
  ASSERT_EQ(RegOpenKeyExW(root_, kInternetSettings, 0, KEY_SET_VALUE, key.put()), ERROR_SUCCESS);
  RegSetValueExW(key.get(), L"ProxyServer", 0, REG_SZ,
                 reinterpret_cast<const BYTE*>(proxy_server.c_str()),
                 static_cast<DWORD>((proxy_server.size() + 1) * sizeof(wchar_t)));
}

void ProxySettingsOverride::RemoveInternetSettings() { RegDeleteTreeW(root_, kInternetSettings); }
