// Opening a file for the user to read (the build's log) with the user's own program for it.
//
// The program runs elevated. A viewer started from it would run elevated too, and its Open and
// Save dialogs would hand administrator rights to whoever sits at it. So the file is opened by
// the desktop's shell, which runs as the signed-in user: the shell's own dispatch object, reached
// through the desktop window's view, is asked to open it, and the viewer starts as the shell's
// child. A file type with no program of its own opens in Notepad. A program that is not elevated
// opens the file itself.
#pragma once

#include <string>

namespace win {

// Opens `path` as the signed-in user. False when it could not be done: an elevated program with
// no desktop shell to ask never opens it itself.
bool OpenAsUser(const std::wstring& path);

}  // namespace win
