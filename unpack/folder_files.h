// The small file operations the builder shares: read a whole file, write a buffer as a file
// below a folder.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "win/unique_resource.h"

// The whole file, or nothing when it cannot be opened, sized or fully read.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::wstring& path);
// The whole of the file open as `file` from its current position (the start, when just opened).
std::optional<std::vector<std::uint8_t>> ReadWholeFile(HANDLE file);

// Creates the file folder\name for writing, with the folder and every missing level named in
// `name`; `path` receives its full path. Empty for an unsafe name (see IsSafeEntryName) or when
// the file cannot be created, which includes when it exists already: an existing file is never
// replaced, and a link at its name is never followed.
win::UniqueFile CreateFolderFile(const std::wstring& folder, const std::wstring& name,
                                 std::wstring& path);
// Writes `size` bytes as the file folder\name, creating the folder and every missing level
// named in `name` (`\` and `/` both separate levels). An existing file is never replaced: that
// fails too. False for an unsafe name (see IsSafeEntryName), when the file cannot be created, or on
// a short write (the partial file is removed).
bool WriteFolderFile(const std::wstring& folder, const std::wstring& name, const void* data,
                     std::size_t size);
