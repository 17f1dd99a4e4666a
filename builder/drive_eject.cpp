#include "builder/drive_eject.h"

#include <winioctl.h>

#include "win/unique_resource.h"

namespace {

// One request to the volume that takes no input and gives no output but `in`.
bool Control(HANDLE volume, DWORD code, void* in = nullptr, DWORD in_size = 0) {
  DWORD returned = 0;
  return DeviceIoControl(volume, code, in, in_size, nullptr, 0, &returned, nullptr) != FALSE;
}

}  // namespace

EjectOutcome EjectOutcomeOf(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_BUSY: return EjectOutcome::kInUse;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
    case ERROR_CALL_NOT_IMPLEMENTED: return EjectOutcome::kNotSupported;
    default: return EjectOutcome::kFailed;
  }
}

EjectResult EjectDrive(const std::wstring& root) {
  if (root.size() < 2 || root[1] != L':') return {EjectOutcome::kNotSupported, ERROR_NOT_SUPPORTED};
  const std::wstring device = L"\\\\.\\" + root.substr(0, 2);
  win::UniqueFile volume(CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
  PREVENT_MEDIA_REMOVAL allow{FALSE};
  const bool ejected = volume && Control(volume.get(), FSCTL_LOCK_VOLUME) &&
                       Control(volume.get(), FSCTL_DISMOUNT_VOLUME) &&
                       Control(volume.get(), IOCTL_STORAGE_MEDIA_REMOVAL, &allow, sizeof allow) &&
                       Control(volume.get(), IOCTL_STORAGE_EJECT_MEDIA);
  if (ejected) return {EjectOutcome::kEjected, 0};
  const DWORD error = GetLastError();
  return {EjectOutcomeOf(error), error};
}
