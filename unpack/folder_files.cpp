#include "unpack/folder_files.h"

#include <windows.h>

#include <algorithm>
#include <limits>
#include <new>

#include "unpack/entry_names.h"
#include "win/unique_resource.h"

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::wstring& path) {
  const win::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  return ReadWholeFile(file.get());
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(HANDLE file) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size) ||
      static_cast<unsigned long long>(size.QuadPart) > std::numeric_limits<std::size_t>::max())
    return std::nullopt;
  std::vector<std::uint8_t> bytes;
  try {
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  for (std::size_t done = 0; done < bytes.size();) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(file, bytes.data() + done, piece, &got, nullptr) || got == 0) return std::nullopt;
    done += got;
  }
  return bytes;
}

win::UniqueFile CreateFolderFile(const std::wstring& folder, const std::wstring& name,
                                 std::wstring& path) {
  if (!IsSafeEntryName(name)) return win::UniqueFile();
  CreateDirectoryW(folder.c_str(), nullptr);
  path = folder + L"\\";
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (IsNameSeparator(name[i])) CreateDirectoryW((path + name.substr(0, i)).c_str(), nullptr);
  }
  path += name;
  // Never over an existing file: one the program wrote itself, or another name's 8.3 alias.
  return win::UniqueFile(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool WriteFolderFile(const std::wstring& folder, const std::wstring& name, const void* data,
                     std::size_t size) {
  std::wstring path;
  win::UniqueFile file = CreateFolderFile(folder, name, path);
  if (!file) return false;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  bool complete = true;
  for (std::size_t done = 0; complete && done < size;) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    DWORD written = 0;
    complete = WriteFile(file.get(), bytes + done, piece, &written, nullptr) && written == piece;
    done += written;
  }
  // Closing flushes what the system still holds; a failed close is a short write too.
  complete = CloseHandle(file.release()) && complete;
  if (!complete) DeleteFileW(path.c_str());
  return complete;
}
