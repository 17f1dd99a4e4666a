// Entry names come from downloaded data and are hostile: only names that stay inside the folder
// they are written below are accepted.
#pragma once

#include <string>

// True when `name` stays inside the folder it is written below: not empty, not absolute, no
// colon (drive or alternate stream), no component that resolves to a parent, no device name,
// no trailing separator. `\` and `/` both separate components.
bool IsSafeEntryName(const std::wstring& name);

bool IsNameSeparator(wchar_t c);
