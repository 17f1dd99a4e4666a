#include "builder/removable_drives.h"

#include <windows.h>
#include <winioctl.h>

#include <cstddef>
#include <cwchar>
#include <cwctype>

#include "win/no_disk_prompts.h"

namespace {

bool HasDriveColon(const std::wstring& root) { return root.size() >= 2 && root[1] == L':'; }

// A handle that closes itself.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (valid()) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// "\\.\E:", the volume's device, opened for queries (no access) or for reading.
Handle OpenVolume(const std::wstring& root, DWORD access) {
  const std::wstring device = L"\\\\.\\" + root.substr(0, 2);
  return Handle(CreateFileW(device.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr));
}

BusKind BusOf(const std::wstring& root) {
  const Handle volume = OpenVolume(root, 0);
  if (!volume.valid()) return BusKind::Unknown;
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  STORAGE_DEVICE_DESCRIPTOR descriptor{};
  DWORD returned = 0;
  if (!DeviceIoControl(volume.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query,
                       &descriptor, sizeof descriptor, &returned, nullptr) ||
      returned < offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof descriptor.BusType)
    return BusKind::Unknown;
  return descriptor.BusType == BusTypeUsb ? BusKind::Usb : BusKind::Other;
}

bool SameVolume(const std::wstring& root, const wchar_t* path) {
  return HasDriveColon(root) && path[0] && path[1] == L':' &&
         std::towupper(path[0]) == std::towupper(root[0]);
}

bool HoldsSystem(const std::wstring& root) {
  wchar_t windows[MAX_PATH] = {}, program[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  const DWORD pagefile = GetFileAttributesW((root + L"pagefile.sys").c_str());
  return SameVolume(root, windows) || SameVolume(root, program) ||
         pagefile != INVALID_FILE_ATTRIBUTES;
}

VolumeFacts FactsOf(const std::wstring& root) {
  VolumeFacts facts;
  switch (GetDriveTypeW(root.c_str())) {
    case DRIVE_REMOVABLE: facts.kind = VolumeKind::Removable; break;
    case DRIVE_FIXED:
      facts.kind = VolumeKind::Fixed;
      facts.bus = BusOf(root);
      facts.holds_system = HoldsSystem(root);
      break;
    default: break;
  }
  return facts;
}

// Write protection as the disk reports it (a stick's lock switch); a volume that cannot answer
// the question is taken as writable, and the installer finds out.
bool DiskWritable(const std::wstring& root) {
  const Handle volume = OpenVolume(root, GENERIC_READ);
  if (!volume.valid()) return true;
  DWORD returned = 0;
  return DeviceIoControl(volume.get(), IOCTL_DISK_IS_WRITABLE, nullptr, 0, nullptr, 0, &returned,
                         nullptr) ||
         GetLastError() != ERROR_WRITE_PROTECT;
}

RemovableDrive Describe(const std::wstring& root, bool usb_disk) {
  RemovableDrive drive{root, {}, 0, usb_disk, DriveProblem::None};
  wchar_t label[MAX_PATH + 1] = {};
  DWORD flags = 0;
  const bool has_medium = GetVolumeInformationW(root.c_str(), label, MAX_PATH + 1, nullptr, nullptr,
                                                &flags, nullptr, 0);
  if (has_medium) drive.label = label;
  ULARGE_INTEGER total{};
  if (GetDiskFreeSpaceExW(root.c_str(), nullptr, &total, nullptr))
    drive.size_bytes = total.QuadPart;
  const bool writable = has_medium && !(flags & FILE_READ_ONLY_VOLUME) && DiskWritable(root);
  drive.problem = ProblemOf(has_medium, writable, drive.size_bytes, RequiredDriveBytes());
  return drive;
}

}  // namespace

bool ListsVolume(const VolumeFacts& volume) {
  if (volume.kind == VolumeKind::Removable) return true;
  return volume.kind == VolumeKind::Fixed && volume.bus == BusKind::Usb && !volume.holds_system;
}

DriveProblem ProblemOf(bool has_medium, bool writable, uint64_t size_bytes,
                       uint64_t required_bytes) {
  if (!has_medium) return DriveProblem::NoMedium;
  if (!writable) return DriveProblem::WriteProtected;
  if (size_bytes < required_bytes) return DriveProblem::TooSmall;
  return DriveProblem::None;
}

uint64_t RequiredDriveBytes() { return RESCUE_DRIVE_MIN_BYTES; }

std::vector<RemovableDrive> RemovableDrives() {
  std::vector<RemovableDrive> listed;
  // Roots, each ended by a NUL, one more NUL after the last.
  wchar_t roots[260] = {};
  const DWORD length = GetLogicalDriveStringsW(260, roots);
  if (length < 1 || length > 259) return listed;
  const win::NoDiskPrompts quiet;
  for (const wchar_t* root = roots; *root; root += wcslen(root) + 1) {
    const VolumeFacts facts = FactsOf(root);
    if (ListsVolume(facts)) listed.push_back(Describe(root, facts.kind == VolumeKind::Fixed));
  }
  return listed;
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
