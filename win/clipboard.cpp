#include "win/clipboard.h"

#include <cstring>

#include "win/scope_exit.h"

namespace win {

bool CopyTextToClipboard(HWND owner, const std::wstring& text) {
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (!memory) return false;
  if (void* at = GlobalLock(memory)) {
    std::memcpy(at, text.c_str(), bytes);
    GlobalUnlock(memory);
  }
  // The clipboard owns the memory once SetClipboardData took it; until then it is ours.
  bool handed_over = false;
  ScopeExit free_memory([&] {
    if (!handed_over) GlobalFree(memory);
  });
  if (!OpenClipboard(owner)) return false;
  ScopeExit close([] { CloseClipboard(); });
  handed_over = EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, memory);
  return handed_over;
}

std::wstring ClipboardText(HWND owner) {
  if (!OpenClipboard(owner)) return {};
  ScopeExit close([] { CloseClipboard(); });
  HANDLE memory = GetClipboardData(CF_UNICODETEXT);
  const auto* text = memory ? static_cast<const wchar_t*>(GlobalLock(memory)) : nullptr;
  if (!text) return {};
  std::wstring copy(text, wcsnlen(text, GlobalSize(memory) / sizeof(wchar_t)));
  GlobalUnlock(memory);
  return copy;
}

}  // namespace win
