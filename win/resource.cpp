#include "win/resource.h"

namespace win {

std::string_view ResourceBytes(HMODULE module, const wchar_t* name) {
  HRSRC found = FindResourceW(module, name, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!found) return {};
  const DWORD size = SizeofResource(module, found);
  HGLOBAL loaded = size ? LoadResource(module, found) : nullptr;
  const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  return bytes ? std::string_view(bytes, size) : std::string_view();
}

}  // namespace win
