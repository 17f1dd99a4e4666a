#include "unpack/urar_library.h"

#include "unpack/folder_files.h"

#include <algorithm>
#include <type_traits>
#include <utility>

bool LoadUrarLibrary(UrarLibrary& library, const std::wstring& folder, std::string_view expected) {
  FreeUrarLibrary(library);
  const std::wstring path = folder + L"\\" + kUrarLibraryFile;
  // Held without write or delete sharing from the comparison until the load has returned, so the
  // bytes that load are the bytes compared.
  const win::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  const auto bytes = ReadWholeFile(file.get());
  if (!bytes || bytes->size() != expected.size() ||
      !std::equal(bytes->begin(), bytes->end(), expected.begin(),
                  [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }))
    return false;
  // By full path; what it imports comes from System32 alone, never from the folder.
  win::UniqueModule module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
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
                  bind(library.URARGetLastError, "URARGetLastError") &&
                  bind(library.URARDoActionStream, "URARDoActionStream") &&
                  bind(library.URARGetEntrySize64, "URARGetEntrySize64") &&
                  bind(library.URARInitializeReader, "URARInitializeReader");
  if (!complete) {
    FreeUrarLibrary(library);
    return false;
  }
  library.module = std::move(module);
  return true;
}

void FreeUrarLibrary(UrarLibrary& library) { library = UrarLibrary(); }
