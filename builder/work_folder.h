// The build's private working folder, %TEMP%\USBWizard\: it receives the extraction library,
// both archives and everything unpacked from them. The program runs as administrator and the
// folder lies where every process of the user can write, so each build removes whatever is at
// the path without following links and makes the folder afresh, writable by Administrators and
// SYSTEM only; it is removed again when the progress page is left.
#pragma once

#include <string>

#include "win/unique_resource.h"

// The working folder below the temporary folder `temp_path` as the system reports it: one
// backslash between them, and a trailing one ("USBWizard\" alone when temp_path is empty).
std::wstring WorkFolderFromTempPath(const std::wstring& temp_path);

// The working folder below the current user's temporary folder.
std::wstring WorkFolderPath();

// Removes whatever is at `folder` (trailing backslash allowed): a file, or a folder with all it
// holds. A link (junction, symbolic link: any reparse point), at the path or anywhere inside, is
// removed as a link and never entered. True when nothing is left at the path.
bool ResetWorkFolder(const std::wstring& folder);

// The working folder's security descriptor: a protected DACL (nothing inherited) that grants full
// access to Administrators and SYSTEM, and to no one else. Empty when the system cannot make it.
win::UniqueLocal WorkFolderSecurity();

// The build log's folder: the same, and read access for every signed-in user, whose log it is to
// send.
win::UniqueLocal LogFolderSecurity();

// Makes `folder` afresh with `security` after ResetWorkFolder, and returns it open without delete
// sharing, so that it cannot be renamed or replaced while the handle is held. Empty when anything
// stays at the path or the folder cannot be made with that descriptor.
win::UniqueFile CreateFolderAfresh(const std::wstring& folder, const win::UniqueLocal& security);

// CreateFolderAfresh with WorkFolderSecurity().
win::UniqueFile CreateWorkFolder(const std::wstring& folder);

// Writes the program's own RCDATA resource "URAR" into `folder` as zevurar.dll. False when the
// resource is missing or empty or the write fails.
bool ExtractUrarLibrary(const std::wstring& folder);
