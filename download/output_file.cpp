#include "download/output_file.h"

#include <new>

DownloadOutputFile::~DownloadOutputFile() {
  file_.reset();
  if (temp_name_) DeleteFileW(temp_name_.get());
}

DWORD DownloadOutputFile::Open(const wchar_t* path) {
  if (!path || !*path) {
    temp_name_.reset(new (std::nothrow) wchar_t[MAX_PATH]);
    if (!temp_name_) return ERROR_NOT_ENOUGH_MEMORY;
    wchar_t folder[MAX_PATH];
    const DWORD n = GetTempPathW(MAX_PATH, folder);
    if (n == 0 || n >= MAX_PATH) return GetLastError() ? GetLastError() : ERROR_BUFFER_OVERFLOW;
    if (!GetTempFileNameW(folder, L"TSC", 0, temp_name_.get())) {
      const DWORD error = GetLastError();
      temp_name_.reset();  // nothing was created, nothing to delete
      return error;
    }
    path = temp_name_.get();
  }
  path_ = path;
  file_.reset(
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file_ ? 0 : GetLastError();
}

uint64_t DownloadOutputFile::StoredBytes() const {
  LARGE_INTEGER position = {};
  if (!SetFilePointerEx(file_.get(), LARGE_INTEGER{}, &position, FILE_CURRENT)) return 0;
  return uint64_t(position.QuadPart);
}

std::wstring DownloadOutputFile::Volume() const {
  wchar_t volume[MAX_PATH] = {};
  return GetVolumePathNameW(path_.c_str(), volume, MAX_PATH) ? volume : L"";
}
