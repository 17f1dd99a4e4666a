#include "removable_drives.h"

#include <windows.h>

#include <cwchar>

namespace {
bool HasDriveColon(const std::wstring& root) { return root.size() >= 2 && root[1] == L':'; }
}  // namespace

std::vector<std::wstring> RemovableDriveRoots() {
  std::vector<std::wstring> removable;
  // Roots, each ended by a NUL, one more NUL after the last.
  wchar_t roots[260] = {};
  const DWORD length = GetLogicalDriveStringsW(260, roots);
  if (length < 1 || length > 259) return removable;
  for (const wchar_t* root = roots; *root; root += wcslen(root) + 1)
    if (GetDriveTypeW(root) == DRIVE_REMOVABLE) removable.emplace_back(root);
  return removable;
}

std::wstring DriveLetter(const std::wstring& root) {
  return HasDriveColon(root) ? root.substr(0, 1) : root;
}

std::wstring DriveName(const std::wstring& root) {
  return HasDriveColon(root) ? root.substr(0, 2) : root;
}
