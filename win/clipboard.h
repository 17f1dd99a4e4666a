// The clipboard, for texts the user wants to paste elsewhere (the build log's place).
#pragma once

#include <windows.h>

#include <string>

namespace win {

// Replaces the clipboard's contents with `text` as Unicode text, the clipboard held by `owner`
// meanwhile. False when another program holds the clipboard or the memory cannot be had.
bool CopyTextToClipboard(HWND owner, const std::wstring& text);

// The clipboard's Unicode text; empty when it holds none.
std::wstring ClipboardText(HWND owner);

}  // namespace win
