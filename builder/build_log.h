// The build's log: a plain-text UTF-8 file, one time-stamped line per event (steps, URLs, HTTP
// statuses, byte counts, entries unpacked and refused, the installer's verdict and exit code,
// the result), which the user can send to support. It lies outside the working folder, in
// %LOCALAPPDATA%\USBWizard\last-build.log, and outlives the program; each build replaces it.
//
// The program runs elevated and %LOCALAPPDATA% is the user's to write, so nothing there is removed
// or followed: the log's folder is made when missing (with a DACL that lets only administrators
// write and every user read) and otherwise used as found; the folder and the log are opened as
// themselves, never through a link, and used only when their open handles show a plain folder
// and a plain file with no other name (no hard link); the log is then emptied and written. A
// planted link or a swapped folder gives a build without a log, never a write elsewhere; a log
// that cannot be written never fails the build.
#pragma once

#include <string>

#include "win/unique_resource.h"

inline constexpr wchar_t kBuildLogName[] = L"last-build.log";

// "%LOCALAPPDATA%\USBWizard\" of the current user; empty when the system does not say.
std::wstring BuildLogFolderPath();

// Used by one thread at a time (the install worker).
class BuildLog {
 public:
  // Closed: lines go nowhere.
  BuildLog() = default;
  // Opens (or makes) `folder`, ending in a backslash, and the log in it as described above;
  // closed when either is not what it should be or `folder` is empty.
  explicit BuildLog(const std::wstring& folder);

  // Appends "<local date and time with milliseconds>  <text>" and a line end, written at once so
  // that a build that never ends still leaves its lines.
  void Line(const std::wstring& text);

  // The log's path while it is open; empty when closed.
  const std::wstring& Path() const { return path_; }

 private:
  win::UniqueFile folder_;  // held without delete sharing while the log is written
  win::UniqueFile file_;
  std::wstring path_;
};
