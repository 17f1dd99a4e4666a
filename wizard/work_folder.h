// The build's private working folder, %TEMP%\USBWizard\: it receives the extraction library,
// both archives and everything unpacked from them. It is emptied when the program starts and
// deleted when the progress page is left.
#pragma once

#include <string>

// The working folder below the temporary folder `temp_path` as the system reports it: one
// backslash between them, and a trailing one ("USBWizard\" alone when temp_path is empty).
std::wstring WorkFolderFromTempPath(const std::wstring& temp_path);

// The working folder below the current user's temporary folder.
std::wstring WorkFolderPath();

// Has the shell delete `folder` (as stored, trailing backslash included) with all it holds,
// silently and without asking; nothing happens when it is not an existing folder.
void ResetWorkFolder(const std::wstring& folder);

// Writes the program's own RCDATA resource "URAR" into `folder` as zevurar.dll. Nothing is
// written when the resource is missing or empty; a failed write is not reported either: the
// unpack stage fails later when it cannot load the library.
void ExtractUrarLibrary(const std::wstring& folder);
