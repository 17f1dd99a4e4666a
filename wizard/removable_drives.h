// The removable drives a rescue drive can be made on, and the two ways a drive's root ("E:\")
// is written: its letter alone in the drive list, and its name ("E:") on the installer's command
// line.
#pragma once

#include <string>
#include <vector>

// The roots of the removable drives, in the order the platform reports them. A root list that
// does not fit the platform's 260 characters is not examined at all (no drives).
std::vector<std::wstring> RemovableDriveRoots();

// "E:\" -> "E"; a root without a drive colon is shown whole.
std::wstring DriveLetter(const std::wstring& root);
// "E:\" -> "E:"; a root without a drive colon is taken whole.
std::wstring DriveName(const std::wstring& root);
