// The removable drives a rescue drive can be made on, and the ways a drive's root ("E:\") is
// written: its line in the drive list ("E:  RESCUE  14.9 GB") and its name ("E:") on the
// installer's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RemovableDrive {
  std::wstring root;        // "E:\"; what the drive list's item carries and the build receives
  std::wstring label;       // the volume label; empty when it has none or holds no medium
  uint64_t size_bytes = 0;  // the volume's total size; 0 when unknown (no medium)
};

// The removable drives, in the order the platform reports them, each with its label and size
// when it holds a medium. A root list that does not fit the platform's 260 characters is not
// examined at all (no drives).
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
