#include "unpack/archive_file.h"

ArchiveFile::ArchiveFile(const std::wstring& path) {
  win::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size)) return;
  size_ = static_cast<std::uint64_t>(size.QuadPart);
  file_ = std::move(file);
}

std::int32_t ArchiveFile::Read(void* context, std::uint64_t offset, void* destination,
                               std::int32_t size) {
  auto* archive = static_cast<ArchiveFile*>(context);
  // The offset travels with the call, so reads never depend on a file pointer.
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (ReadFile(archive->file_.get(), destination, static_cast<DWORD>(size), &got, &at))
    return static_cast<std::int32_t>(got);
  const DWORD error = GetLastError();
  if (error == ERROR_HANDLE_EOF) return 0;
  if (archive->readError_ == 0) archive->readError_ = error;
  return -1;
}
