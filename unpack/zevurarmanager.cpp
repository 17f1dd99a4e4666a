#include "unpack/zevurarmanager.h"

#include <cstdio>
#include <limits>
#include <memory>
#include <new>

namespace {

struct FileCloser {
  void operator()(FILE* file) const { fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

// One library handle over an archive buffer; finalised before the buffer may go.
class UrarSession {
 public:
  UrarSession(const UrarLibrary& library, URARHandle* handle) : library_(library), handle_(handle) {}
  UrarSession(const UrarSession&) = delete;
  UrarSession& operator=(const UrarSession&) = delete;
  ~UrarSession() {
    if (handle_) library_.URARFinalize(handle_);
  }
  URARHandle* get() const { return handle_; }

 private:
  const UrarLibrary& library_;
  URARHandle* handle_;
};

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool EqualsIgnoreCase(const std::wstring& text, const wchar_t* word) {
  return CompareStringOrdinal(text.c_str(), static_cast<int>(text.size()), word, -1, TRUE) ==
         CSTR_EQUAL;
}

// Windows resolves these names to devices in any folder, with or without an extension.
bool IsDeviceName(const std::wstring& component) {
  std::wstring stem = component.substr(0, component.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const wchar_t* device : kDevices)
    if (EqualsIgnoreCase(stem, device)) return true;
  if (stem.size() == 4 && stem[3] >= L'1' && stem[3] <= L'9') {
    std::wstring prefix = stem.substr(0, 3);
    return EqualsIgnoreCase(prefix, L"COM") || EqualsIgnoreCase(prefix, L"LPT");
  }
  return false;
}

// Windows drops trailing dots and spaces from a path component, so ". ." and "..." can act as
// ".." too: any component of only dots and spaces with two or more dots climbs.
bool ClimbsToParent(const std::wstring& component) {
  if (component.find_first_not_of(L". ") != std::wstring::npos) return false;
  return component.find(L"..") != std::wstring::npos ||
         component.find(L'.') != component.rfind(L'.');
}

std::wstring AnsiToWide(const char* text) {
  int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 1) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

// Extracts the current entry and writes it below the output folder; the buffer is reused for
// names and data and only grows.
bool WriteCurrentEntry(const UrarLibrary& library, URARHandle* handle, std::vector<char>& buffer,
                       const std::wstring& outputFolder) {
  if (library.URARGetBuffer(handle, URAR_BUFFER_NAME, buffer.data(),
                            static_cast<int32_t>(buffer.size())) != URAR_OK)
    return false;
  buffer.back() = '\0';
  std::wstring name = AnsiToWide(buffer.data());

  int32_t size = 0;
  if (library.URARGetSizeBuffer(handle, URAR_BUFFER_DATA, &size) != URAR_OK || size < 0)
    return false;
  if (static_cast<std::size_t>(size) > buffer.size()) {
    try {
      buffer.assign(static_cast<std::size_t>(size), '\0');
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  if (library.URARGetBuffer(handle, URAR_BUFFER_DATA, buffer.data(), size) != URAR_OK)
    return false;
  return WriteFolderFile(outputFolder, name, buffer.data(), static_cast<std::size_t>(size));
}

}  // namespace

bool LoadUrarLibrary(UrarLibrary& library, const std::wstring& folder) {
  FreeUrarLibrary(library);
  UniqueModule module(LoadLibraryW((folder + L"\\zevurar.dll").c_str()));
  if (!module) return false;
  auto bind = [&](auto& entry, const char* name) {
    entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(
        reinterpret_cast<void*>(GetProcAddress(module.get(), name)));
    return entry != nullptr;
  };
  bool complete = bind(library.URARInitialize, "URARInitialize") &&
                  bind(library.URARFinalize, "URARFinalize") &&
                  bind(library.URARDoAction, "URARDoAction") &&
                  bind(library.URARGetSizeBuffer, "URARGetSizeBuffer") &&
                  bind(library.URARGetBuffer, "URARGetBuffer") &&
                  bind(library.URARGetLastError, "URARGetLastError");
  if (!complete) {
    FreeUrarLibrary(library);
    return false;
  }
  library.module = std::move(module);
  return true;
}

void FreeUrarLibrary(UrarLibrary& library) { library = UrarLibrary(); }

bool UnpackArchive(const UrarLibrary& library, const std::wstring& archivePath,
                   const std::wstring& outputFolder) {
  if (!library.module) return false;
  std::optional<std::vector<std::uint8_t>> data = ReadWholeFile(archivePath);
  // The library takes the archive's size as a signed 32-bit count.
  if (!data || data->size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max()))
    return false;
  // An empty file still goes to the library (which finds no entry in it), never as a null pointer.
  static const std::uint8_t kNoBytes = 0;
  const void* bytes = data->empty() ? &kNoBytes : data->data();
  UrarSession session(library,
                      library.URARInitialize(0, bytes, static_cast<int32_t>(data->size())));
  if (!session.get()) return false;

  std::vector<char> buffer;
  try {
    buffer.assign(4096, '\0');
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (;;) {
    int32_t status = library.URARDoAction(session.get());
    if (status == URAR_END) return true;
    // A missing, refused or damaged entry fails the whole archive and is not written.
    if (status != URAR_OK) return false;
    if (!WriteCurrentEntry(library, session.get(), buffer, outputFolder)) return false;
  }
}

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
    if (IsSeparator(name[i])) CreateDirectoryW((path + name.substr(0, i)).c_str(), nullptr);
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

bool IsSafeEntryName(const std::wstring& name) {
  if (name.empty() || IsSeparator(name.front())) return false;
  if (name.find(L':') != std::wstring::npos) return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    std::wstring component = name.substr(start, end - start);
    if (ClimbsToParent(component) || IsDeviceName(component)) return false;
    start = end + 1;
  }
  return !IsSeparator(name.back());
}
