#include "unpack/urar_library.h"

#include <type_traits>
#include <utility>

bool LoadUrarLibrary(UrarLibrary& library, const std::wstring& folder) {
  FreeUrarLibrary(library);
  win::UniqueModule module(LoadLibraryW((folder + L"\\zevurar.dll").c_str()));
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
