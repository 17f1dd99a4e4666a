// The binding of the extraction library "zevurar.dll": loaded from a folder at run time (never
// linked), its six entry points and the three that stream entries and address large archives,
// bound by name.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "urar/urar.h"
#include "win/unique_resource.h"

// One loaded library and its entry points. Empty when nothing is bound.
// The name under which the program writes the library into its working folder and loads it.
constexpr wchar_t kUrarLibraryFile[] = L"zevurar.dll";

struct UrarLibrary {
  win::UniqueModule module;
  decltype(&::URARInitialize) URARInitialize = nullptr;
  decltype(&::URARFinalize) URARFinalize = nullptr;
  decltype(&::URARDoAction) URARDoAction = nullptr;
  decltype(&::URARGetSizeBuffer) URARGetSizeBuffer = nullptr;
  decltype(&::URARGetBuffer) URARGetBuffer = nullptr;
  decltype(&::URARGetLastError) URARGetLastError = nullptr;
  decltype(&::URARDoActionStream) URARDoActionStream = nullptr;
  decltype(&::URARGetEntrySize64) URARGetEntrySize64 = nullptr;
  decltype(&::URARInitializeReader) URARInitializeReader = nullptr;
};

// Loads folder\zevurar.dll and binds all nine entry points, only when the file holds exactly the
// bytes `expected` (the program's own copy): compared through a handle that lets nobody write or
// delete the file until the load has returned. Loaded by full path, its imports searched in
// System32 alone. False (record left empty) when the bytes differ, or the library cannot be
// loaded or any entry point is missing.
bool LoadUrarLibrary(UrarLibrary& library, const std::wstring& folder, std::string_view expected);

// Unloads the library, if one is loaded, and empties the record.
void FreeUrarLibrary(UrarLibrary& library);
