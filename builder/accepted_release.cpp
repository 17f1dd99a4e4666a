#include "builder/accepted_release.h"

#include <windows.h>

#include "win/unique_resource.h"

namespace {

constexpr wchar_t kKey[] = L"Software\\USBWizard";
constexpr wchar_t kValue[] = L"AcceptedRelease";

}  // namespace

std::uint32_t AcceptedRelease() {
  HKEY key_handle = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key_handle) !=
      ERROR_SUCCESS)
    return 0;
  const win::UniqueRegKey key(key_handle);
  DWORD release = 0, size = sizeof release;
  if (RegGetValueW(key.get(), nullptr, kValue, RRF_RT_REG_DWORD, nullptr, &release, &size) !=
      ERROR_SUCCESS)
    return 0;
  return release;
}

bool RecordAcceptedRelease(std::uint32_t release) {
  if (release <= AcceptedRelease()) return true;
  HKEY key_handle = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                      nullptr, &key_handle, nullptr) != ERROR_SUCCESS)
    return false;
  const win::UniqueRegKey key(key_handle);
  const DWORD value = release;
  return RegSetValueExW(key.get(), kValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value) == ERROR_SUCCESS;
}
