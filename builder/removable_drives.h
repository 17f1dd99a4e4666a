// The drives a rescue drive can be made on (removable drives and volumes on USB-attached fixed
// disks), what keeps one of them from taking the rescue system, and the ways a drive's root
// ("E:\") is written: its line in the drive list ("E:  RESCUE  14.9 GB") and its name ("E:") on
// the installer's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Why a listed drive cannot take the rescue system; Install stays disabled while it is chosen.
enum class DriveProblem { None, NoMedium, WriteProtected, TooSmall };

struct RemovableDrive {
  std::wstring root;        // "E:\"; what the drive list's item carries and the build receives
  std::wstring label;       // the volume label; empty when it has none or holds no medium
  uint64_t size_bytes = 0;  // the volume's total size; 0 when unknown (no medium)
  bool usb_disk = false;    // a fixed disk on the USB bus rather than a removable drive
  DriveProblem problem = DriveProblem::None;
};

// What the platform says about one volume, for the choice of what to list.
enum class VolumeKind { Removable, Fixed, Other };
enum class BusKind { Unknown, Usb, Other };
struct VolumeFacts {
  VolumeKind kind = VolumeKind::Other;
  BusKind bus = BusKind::Unknown;  // asked of fixed disks only
  // The volume holds Windows, the paging file or this program: losing it would break the PC.
  bool holds_system = false;
};

// Removable drives are listed; a fixed disk only when it sits on the USB bus and holds nothing
// the running system needs. Every other volume (another bus, an unknown bus, network, optical)
// is left out.
bool ListsVolume(const VolumeFacts& volume);

// The first reason a drive cannot take the rescue system, in the order the user must mend them.
DriveProblem ProblemOf(bool has_medium, bool writable, uint64_t size_bytes,
                       uint64_t required_bytes);

// The size a drive must have for the rescue system: the build setting RESCUE_DRIVE_MIN_BYTES.
uint64_t RequiredDriveBytes();

// The drives to list, in the order the platform reports them, each with its label and size
// when it holds a medium, and what keeps it from being used. A root list that does not fit the
// platform's 260 characters is not examined at all (no drives).
std::vector<RemovableDrive> RemovableDrives();

// The drive list's line for a drive: its name, its label and its size, two spaces apart, each
// left out when unknown ("E:  RESCUE  14.9 GB", "E:  14.9 GB", "E:"). Control characters in a
// label become spaces so the line stays one line; anything else is shown as it is.
std::wstring DriveText(const RemovableDrive& drive, wchar_t decimal_mark);
// A size in decimal units with one decimal: GB (10^9 bytes) from 1 GB up, else MB (10^6):
// "14.9 GB", "512.0 MB". Empty for 0.
std::wstring SizeText(uint64_t bytes, wchar_t decimal_mark);

// "E:\" -> "E:"; a root without a drive colon is taken whole.
std::wstring DriveName(const std::wstring& root);
