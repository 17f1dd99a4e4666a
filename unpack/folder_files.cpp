#include "unpack/folder_files.h"

#include <windows.h>

#include <cstdio>
#include <limits>
#include <memory>
#include <new>

#include "unpack/entry_names.h"

namespace {
struct FileCloser {
  void operator()(FILE* file) const { fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;
}  // namespace

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::wstring& path) {
  UniqueFile file(_wfopen(path.c_str(), L"rb"));
  if (!file) return std::nullopt;
  if (_fseeki64(file.get(), 0, SEEK_END) != 0) return std::nullopt;
  long long size = _ftelli64(file.get());
  if (size < 0 || static_cast<unsigned long long>(size) > std::numeric_limits<std::size_t>::max())
    return std::nullopt;
  std::vector<std::uint8_t> bytes;
  try {
    bytes.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  if (_fseeki64(file.get(), 0, SEEK_SET) != 0) return std::nullopt;
  if (fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) return std::nullopt;
  return bytes;
}

bool WriteFolderFile(const std::wstring& folder, const std::wstring& name, const void* data,
                     std::size_t size) {
  if (!IsSafeEntryName(name)) return false;
  CreateDirectoryW(folder.c_str(), nullptr);
  std::wstring path = folder + L"\\";
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (IsNameSeparator(name[i])) CreateDirectoryW((path + name.substr(0, i)).c_str(), nullptr);
  }
  path += name;

  FILE* raw = _wfopen(path.c_str(), L"wb");
  if (!raw) return false;
  bool complete = fwrite(data, 1, size, raw) == size;
  // Closing flushes; a failed flush is a short write too.
  complete = (fclose(raw) == 0) && complete;
  if (!complete) DeleteFileW(path.c_str());
  return complete;
}
