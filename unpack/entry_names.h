// Entry names come from downloaded data and are hostile: only names that stay inside the folder
// they are written below are accepted.
#pragma once

#include <set>
#include <string>

// True when `name` stays inside the folder it is written below and names a file Windows can
// create there: not empty, not absolute, no colon (drive or alternate stream), none of
// `< > | " ? *` and no control character, no component that resolves to a parent, no device
// name, no trailing separator. `\` and `/` both separate components.
bool IsSafeEntryName(const std::wstring& name);

bool IsNameSeparator(wchar_t c);

// The files of one folder by the name Windows opens them by: a component's trailing dots and
// spaces are dropped and case does not count, so "ColdInstall.exe. " and "COLDINSTALL.EXE" are
// one file. A build claims the files it writes itself, then every entry of both archives, so no
// entry can stand for another file of the same build. (A file's 8.3 alias is left to the
// creation, which never overwrites.)
class FolderNames {
 public:
  // False when `name` is a file claimed before; claims it otherwise.
  bool Claim(const std::wstring& name);

 private:
  std::set<std::wstring> keys_;
};
