// The program's client of the extraction library "zevurar.dll": loads the library from a folder
// at run time, binds its six entry points by name, and unpacks an archive file into a folder
// entry by entry. Also the small file operations the builder shares (read a whole file, write a
// buffer as a file below a folder).
//
// Entry names come from downloaded data and are treated as hostile: a name that is absolute,
// carries a drive or stream colon, names a device, or climbs out with a ".." component is
// refused, so nothing is ever written outside the output folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <type_traits>
#include <string>
#include <vector>

#include "urar/urar.h"
#include "unpack/unique_module.h"

// The binding record: one loaded library and its entry points. Empty when nothing is bound.
struct UrarLibrary {
  UniqueModule module;
  decltype(&::URARInitialize) URARInitialize = nullptr;
  decltype(&::URARFinalize) URARFinalize = nullptr;
  decltype(&::URARDoAction) URARDoAction = nullptr;
  decltype(&::URARGetSizeBuffer) URARGetSizeBuffer = nullptr;
  decltype(&::URARGetBuffer) URARGetBuffer = nullptr;
  decltype(&::URARGetLastError) URARGetLastError = nullptr;  // bound so binding checks all six
};

// Loads folder\zevurar.dll and binds all six entry points. False (record left empty) when the
// library cannot be loaded or any entry point is missing.
bool LoadUrarLibrary(UrarLibrary& library, const std::wstring& folder);

// Unloads the library, if one is loaded, and empties the record.
void FreeUrarLibrary(UrarLibrary& library);

// Unpacks every entry of the archive file into `outputFolder`. False when the file cannot be
// read, the library refuses it, any entry is not extracted cleanly (every advance result other
// than "extracted" and "no more entries"), or an entry cannot be written. Entries written before
// a failure stay on disk; the failing entry is never written.
bool UnpackArchive(const UrarLibrary& library, const std::wstring& archivePath,
                   const std::wstring& outputFolder);

// The whole file, or nothing when it cannot be opened, sized or fully read.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::wstring& path);

// Writes `size` bytes as the file folder\name, creating the folder and every missing level
// named in `name` (`\` and `/` both separate levels). An existing file is replaced. False for an
// unsafe name (see IsSafeEntryName), when the file cannot be created, or on a short write
// (the partial file is removed).
bool WriteFolderFile(const std::wstring& folder, const std::wstring& name, const void* data,
                     std::size_t size);

// True when `name` stays inside the folder it is written below: not empty, not absolute, no
// colon (drive or alternate stream), no component that resolves to a parent, no device name.
bool IsSafeEntryName(const std::wstring& name);
