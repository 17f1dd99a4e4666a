// A downloaded archive, read for the extraction library through its read callback: the library
// takes it in through a window of its own, so neither the heap nor the address space holds the
// file, whatever its size, and a read that fails is a result instead of an in-page fault.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "win/unique_resource.h"

class ArchiveFile {
 public:
  // Opens `path` for reading with read sharing only: nobody writes it while it is unpacked.
  explicit ArchiveFile(const std::wstring& path);
  ArchiveFile(const ArchiveFile&) = delete;
  ArchiveFile& operator=(const ArchiveFile&) = delete;

  bool opened() const { return static_cast<bool>(file_); }
  std::uint64_t size() const { return size_; }
  // The library's read callback (URARReadCallback) over an ArchiveFile.
  static std::int32_t Read(void* context, std::uint64_t offset, void* destination,
                           std::int32_t size);
  // The system's error for the first read that failed, or 0. The library takes a failed read for
  // the archive's end, so this is what tells an unreadable file from a cut one.
  DWORD read_error() const { return readError_; }

 private:
  win::UniqueFile file_;
  std::uint64_t size_ = 0;
  DWORD readError_ = 0;
};
