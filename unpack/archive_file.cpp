#include "unpack/mapped_file.h"

MappedFile::MappedFile(const std::wstring& path) {
  win::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size)) return;
  if (size.QuadPart > 0) {
    if (static_cast<unsigned long long>(size.QuadPart) > SIZE_MAX) {
      outOfMemory_ = true;
      return;
    }
    // A mapping of a zero-length file fails; an empty file is simply no bytes.
    mapping_.reset(CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (mapping_)
      view_ =
          static_cast<const std::uint8_t*>(MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 0));
    if (view_ == nullptr) {
      const DWORD error = GetLastError();
      outOfMemory_ = error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY ||
                     error == ERROR_COMMITMENT_LIMIT;
      mapping_.reset();
      return;
    }
  }
  size_ = static_cast<std::uint64_t>(size.QuadPart);
  file_ = std::move(file);
}

MappedFile::~MappedFile() {
  if (view_ != nullptr) UnmapViewOfFile(view_);
}

void MappedFile::ReleaseResident() const {
  if (view_ == nullptr) return;
  void* view = const_cast<std::uint8_t*>(view_);
  const SIZE_T size = static_cast<SIZE_T>(size_);
  // Windows takes unlocked pages out of the working set on VirtualUnlock (which then reports
  // ERROR_NOT_LOCKED); Wine does so on a reset instead. Either alone is harmless.
  VirtualUnlock(view, size);
  VirtualAlloc(view, size, MEM_RESET, PAGE_READONLY);
}
