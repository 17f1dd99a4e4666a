// The file a download writes into: the caller's path, or a temporary file that goes away with
// this owner. It outlives every request of the download, so a resumed request appends to what
// the earlier ones stored.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "win/unique_resource.h"

class DownloadOutputFile {
 public:
  DownloadOutputFile() = default;
  ~DownloadOutputFile();
  DownloadOutputFile(const DownloadOutputFile&) = delete;
  DownloadOutputFile& operator=(const DownloadOutputFile&) = delete;

  // Creates (or empties) `path`; a null or empty path makes a temporary file. 0 or the error.
  DWORD Open(const wchar_t* path);
  HANDLE handle() const { return file_.get(); }
  // The bytes written so far: the writes are sequential, so the position is the length.
  uint64_t StoredBytes() const;

 private:
  std::unique_ptr<wchar_t[]> temp_name_;  // set only for a temporary file
  win::UniqueFile file_;
};
