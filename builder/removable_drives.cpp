#include "builder/removable_drives.h"

#include <windows.h>

#include <cwchar>

namespace {

bool HasDriveColon(const std::wstring& root) { return root.size() >= 2 && root[1] == L':'; }

// A card reader without a card would otherwise make the system ask the user to insert a disk.
class NoDiskPrompts {
 public:
  NoDiskPrompts() { SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous_); }
  ~NoDiskPrompts() { SetThreadErrorMode(previous_, nullptr); }
  NoDiskPrompts(const NoDiskPrompts&) = delete;
  NoDiskPrompts& operator=(const NoDiskPrompts&) = delete;

 private:
  DWORD previous_ = 0;
};

RemovableDrive Describe(const wchar_t* root) {
  RemovableDrive drive{root, {}, 0};
  wchar_t label[MAX_PATH + 1] = {};
  if (GetVolumeInformationW(root, label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0))
    drive.label = label;
  ULARGE_INTEGER total{};
  if (GetDiskFreeSpaceExW(root, nullptr, &total, nullptr)) drive.size_bytes = total.QuadPart;
  return drive;
}

}  // namespace

std::vector<RemovableDrive> RemovableDrives() {
  std::vector<RemovableDrive> removable;
  // Roots, each ended by a NUL, one more NUL after the last.
  wchar_t roots[260] = {};
  const DWORD length = GetLogicalDriveStringsW(260, roots);
  if (length < 1 || length > 259) return removable;
  const NoDiskPrompts quiet;
  for (const wchar_t* root = roots; *root; root += wcslen(root) + 1)
    if (GetDriveTypeW(root) == DRIVE_REMOVABLE) removable.push_back(Describe(root));
  return removable;
}

std::wstring SizeText(uint64_t bytes, wchar_t decimal_mark) {
  if (bytes == 0) return {};
  // The unit follows the rounded figure, so 999.96 MB reads "1.0 GB", never "1000.0 MB".
  const uint64_t mb_tenths = bytes / 100000 + (bytes % 100000 >= 50000);
  const bool gb = mb_tenths >= 10000;
  const uint64_t tenths = gb ? bytes / 100000000 + (bytes % 100000000 >= 50000000) : mb_tenths;
  return std::to_wstring(tenths / 10) + decimal_mark + std::to_wstring(tenths % 10) +
         (gb ? L" GB" : L" MB");
}

std::wstring DriveText(const RemovableDrive& drive, wchar_t decimal_mark) {
  std::wstring text = DriveName(drive.root);
  std::wstring label = drive.label;
  for (wchar_t& c : label)
    if (c < 0x20 || c == 0x7F) c = L' ';
  const size_t first = label.find_first_not_of(L' '), last = label.find_last_not_of(L' ');
  if (first != std::wstring::npos) text += L"  " + label.substr(first, last - first + 1);
  const std::wstring size = SizeText(drive.size_bytes, decimal_mark);
  if (!size.empty()) text += L"  " + size;
  return text;
}

std::wstring DriveName(const std::wstring& root) {
  return HasDriveColon(root) ? root.substr(0, 2) : root;
}
