// The binding of the extraction library "zevurar.dll": loaded from a folder at run time (never
// linked), its six entry points bound by name.
#pragma once

#include <windows.h>

#include <string>

#include "urar/urar.h"
#include "win/unique_resource.h"

// One loaded library and its entry points. Empty when nothing is bound.
struct UrarLibrary {
  win::UniqueModule module;
  decltype(&::URARInitialize) URARInitialize = nullptr;
  decltype(&::URARFinalize) URARFinalize = nullptr;
  decltype(&::URARDoAction) URARDoAction = nullptr;
  decltype(&::URARGetSizeBuffer) URARGetSizeBuffer = nullptr;
  decltype(&::URARGetBuffer) URARGetBuffer = nullptr;
  decltype(&::URARGetLastError) URARGetLastError = nullptr;
};

// Loads folder\zevurar.dll and binds all six entry points. False (record left empty) when the
// library cannot be loaded or any entry point is missing.
bool LoadUrarLibrary(UrarLibrary& library, const std::wstring& folder);

// Unloads the library, if one is loaded, and empties the record.
void FreeUrarLibrary(UrarLibrary& library);
