// The build's private working folder: it receives the extraction library, both archives and
// everything unpacked from them. The program runs as administrator, and the user's temporary
// folder (%TEMP%) is where every process of the user can write, swap folders for links between a
// check and a use, and which the user's environment can point anywhere (a share, a relative
// path). So the working folder is not there: each build makes a new folder under the system's
// %ProgramData% (the machine's, named in the machine's registry, on a local fixed volume), with an
// unguessable name, created in one step with a protected DACL for Administrators and SYSTEM only
// and held open without delete sharing from then on. Nothing can be at that name beforehand,
// nothing but an administrator can write inside it, and the folder cannot be renamed or replaced
// while held, so every path below it names what the build put there. It is removed again when
// the progress page is left.
#pragma once

#include <string>

#include "win/unique_resource.h"

// True when `folder` is an absolute path on a local fixed volume ("C:\..."): not a share, not
// relative, not removable.
bool IsLocalFixedFolder(const std::wstring& folder);

// A new working folder's path, "<ProgramData>\USBWizard.<32 hex digits>\": a fresh random name
// at each call. Empty when %ProgramData% is not a folder on a local fixed volume.
std::wstring WorkFolderPath();

// Removes whatever is at `folder` (trailing backslash allowed): a file, or a folder with all it
// holds. A link (junction, symbolic link: any reparse point), at the path or anywhere inside, is
// removed as a link and never entered; each level is opened without following links and checked
// on its open handle. True when nothing is left at the path. The program uses it only on its own
// working folder, whose contents no one but an administrator can change.
bool ResetWorkFolder(const std::wstring& folder);

// The working folder's security descriptor: a protected DACL (nothing inherited) that grants full
// access to Administrators and SYSTEM, and to no one else. Empty when the system cannot make it.
win::UniqueLocal WorkFolderSecurity();

// The build log's folder: the same, and read access for every signed-in user, whose log it is to
// send.
win::UniqueLocal LogFolderSecurity();

// Makes `folder` with WorkFolderSecurity() and returns it open without delete sharing, so that it
// cannot be renamed or replaced while the handle is held. Empty when anything is at the path
// already (nothing is removed or followed) or the folder cannot be made.
win::UniqueFile CreateWorkFolder(const std::wstring& folder);

// Writes the program's own RCDATA resource "URAR" into `folder` as zevurar.dll. False when the
// resource is missing or empty or the write fails.
bool ExtractUrarLibrary(const std::wstring& folder);
