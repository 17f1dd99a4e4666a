#include "builder/downloaded_file.h"

#include <windows.h>

#include <vector>

#include "builder/sha256.h"
#include "win/unique_resource.h"

namespace {

win::UniqueFile OpenForReading(const std::wstring& path) {
  return win::UniqueFile(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

}  // namespace

bool ReadSmallFile(const std::wstring& path, std::uint64_t max_bytes, std::string* content) {
  const win::UniqueFile file = OpenForReading(path);
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
      static_cast<std::uint64_t>(size.QuadPart) > max_bytes)
    return false;
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!bytes.empty() &&
      (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
       read != bytes.size()))
    return false;
  *content = std::move(bytes);
  return true;
}

bool FileSizeAndSha256(const std::wstring& path, std::uint64_t* size,
                       rescue_manifest::Sha256* digest) {
  const win::UniqueFile file = OpenForReading(path);
  if (!file) return false;
  Sha256Hasher hasher;
  std::vector<char> buffer(1 << 16);
  std::uint64_t total = 0;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
      return false;
    if (read == 0) break;
    if (!hasher.Add(buffer.data(), read)) return false;
    total += read;
  }
  if (!hasher.Finish(digest)) return false;
  *size = total;
  return true;
}
