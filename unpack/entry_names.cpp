#include "unpack/entry_names.h"

#include <windows.h>

#include <string_view>

namespace {

bool EqualsIgnoreCase(const std::wstring& text, const wchar_t* word) {
  return CompareStringOrdinal(text.c_str(), static_cast<int>(text.size()), word, -1, TRUE) ==
         CSTR_EQUAL;
}

// Windows resolves these names to devices in any folder, with or without an extension. The
// numbered ports take the digits 0 to 9 and the superscripts ¹, ² and ³ alike.
bool IsDeviceName(const std::wstring& component) {
  std::wstring stem = component.substr(0, component.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  static const wchar_t* const kDevices[] = {L"CON",    L"PRN",     L"AUX",   L"NUL",
                                            L"CONIN$", L"CONOUT$", L"CLOCK$"};
  for (const wchar_t* device : kDevices)
    if (EqualsIgnoreCase(stem, device)) return true;
  if (stem.size() != 4) return false;
  const wchar_t digit = stem[3];
  const bool port_digit = (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' ||
                          digit == L'\u00B2' || digit == L'\u00B3';
  if (!port_digit) return false;
  std::wstring prefix = stem.substr(0, 3);
  return EqualsIgnoreCase(prefix, L"COM") || EqualsIgnoreCase(prefix, L"LPT");
}

// Windows drops trailing dots and spaces from a path component, so ". ." and "..." can act as
// ".." too: any component of only dots and spaces with two or more dots climbs.
bool ClimbsToParent(const std::wstring& component) {
  if (component.find_first_not_of(L". ") != std::wstring::npos) return false;
  return component.find(L"..") != std::wstring::npos ||
         component.find(L'.') != component.rfind(L'.');
}

// Characters no Windows file name may hold; a name with one would fail only at its write, after
// the entries before it were written.
bool HasReservedCharacter(const std::wstring& name) {
  for (wchar_t c : name)
    if (c < 0x20 || std::wstring_view(L"<>|\"?*").find(c) != std::wstring_view::npos) return true;
  return false;
}

// A component as Windows opens it: without trailing dots and spaces, in upper case.
std::wstring ComponentKey(std::wstring component) {
  while (!component.empty() && (component.back() == L'.' || component.back() == L' '))
    component.pop_back();
  if (!component.empty())
    LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, component.data(),
                  static_cast<int>(component.size()), component.data(),
                  static_cast<int>(component.size()), nullptr, nullptr, 0);
  return component;
}

}  // namespace

bool IsNameSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsSafeEntryName(const std::wstring& name) {
  if (name.empty() || IsNameSeparator(name.front())) return false;
  if (name.find(L':') != std::wstring::npos || HasReservedCharacter(name)) return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = start;
    while (end < name.size() && !IsNameSeparator(name[end])) ++end;
    std::wstring component = name.substr(start, end - start);
    if (ClimbsToParent(component) || IsDeviceName(component)) return false;
    start = end + 1;
  }
  return !IsNameSeparator(name.back());
}

bool FolderNames::Claim(const std::wstring& name) {
  std::wstring key;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = start;
    while (end < name.size() && !IsNameSeparator(name[end])) ++end;
    if (start > 0) key += L'\\';
    key += ComponentKey(name.substr(start, end - start));
    start = end + 1;
  }
  return keys_.insert(key).second;
}
