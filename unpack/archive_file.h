// A whole file mapped read-only into the address space: the archive's bytes without a copy in the
// heap, paged in by the system as the library walks them.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "win/unique_resource.h"

class MappedFile {
 public:
  // Opens `path` for reading with read sharing only (nobody writes it while it is mapped) and
  // maps all of it. Empty (data() null, size() 0) when the file cannot be opened or mapped; an
  // empty file maps to nothing.
  explicit MappedFile(const std::wstring& path);
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile();

  bool opened() const { return static_cast<bool>(file_); }
  // Not opened because the address space had no room for the view (a large file in a 32-bit
  // process, or memory exhausted), not because the file is unreadable.
  bool out_of_memory() const { return outOfMemory_; }
  const std::uint8_t* data() const { return view_; }
  // Drops the view's pages from the process's working set. They stay in the system's file
  // cache, and a later read of any of them maps it again; without this every page the library
  // has passed would count in the process's memory until the view goes, a gigabyte for a
  // gigabyte of archive. The view is read-only, so no data can be lost.
  void ReleaseResident() const;
  std::uint64_t size() const { return size_; }

 private:
  win::UniqueFile file_;
  win::UniqueHandle mapping_;
  const std::uint8_t* view_ = nullptr;
  std::uint64_t size_ = 0;
  bool outOfMemory_ = false;
};
