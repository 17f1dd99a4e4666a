#include "i18n/translation.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>

#include "i18n/compare_no_case.h"

namespace i18n {

std::wstring Filled(const std::wstring& text, std::initializer_list<Placeholder> placeholders) {
  std::wstring out;
  for (size_t at = 0; at < text.size();) {
    const Placeholder* found = nullptr;
    for (const Placeholder& placeholder : placeholders)
      if (text.compare(at, std::wcslen(placeholder.name), placeholder.name) == 0)
        found = &placeholder;
    if (found) {
      out += found->value;
      at += std::wcslen(found->name);
    } else {
      out += text[at++];
    }
  }
  return out;
}

const wchar_t kIdentityLanguage[] = L"\u00f1\u00f1";

std::wstring TranslateWindowText(const Language* active, const std::wstring& english) {
  if (!active) return english;
  for (const std::wstring& line : active->lines) {
    const size_t equals = line.find(L'=');
    if (equals == std::wstring::npos || line.compare(0, equals, english) != 0) continue;
    return equals + 1 < line.size() ? line.substr(equals + 1) : english;
  }
  return english;
}

std::wstring LookupInLines(const std::vector<std::wstring>& lines, const wchar_t* key) {
  const std::wstring key_text(key);
  for (const std::wstring& line : lines) {
    const size_t key_length = std::min(line.find(L'='), line.size());
    if (key_length != key_text.size() || key_length == line.size()) continue;
    if (CompareNoCaseN(key, line.c_str(), key_length) != 0) continue;
    const size_t value = line.find_first_not_of(L' ', key_length + 1);
    return value == std::wstring::npos ? key_text : line.substr(value);
  }
  return key_text;
}

WindowLanguages::WindowLanguages(TranslationTable table, std::function<void()> retranslate)
    : table_(std::move(table)), retranslate_(std::move(retranslate)) {}

void WindowLanguages::SelectAtLoad(const std::wstring& name) {
  if (name.empty()) return;
  if (const Language* language = table_.Find(name)) Activate(language);
}

void WindowLanguages::Select(const std::wstring& name) {
  selected_ = name;
  if (name == L"en") {
    Activate(nullptr);
    return;
  }
  if (const Language* language = table_.Find(name)) Activate(language);
}

void WindowLanguages::Activate(const Language* language) {
  active_ = language;
  if (retranslate_) retranslate_();
}

std::wstring TranslationLookup::Lookup(WindowLanguages& languages, uint32_t user_lcid,
                                       const wchar_t* key) {
  if (!lines_) {
    const Language* chosen = nullptr;
    if ((user_lcid & 0xFF) == 0x0A) {  // primary language Spanish
      languages.Select(L"es");
      chosen = languages.Table().Find(L"es");
    }
    if (!chosen) {
      languages.Select(kIdentityLanguage);
      chosen = languages.Table().Find(kIdentityLanguage);
    }
    if (!chosen) return key;
    lines_ = &chosen->lines;
  }
  return LookupInLines(*lines_, key);
}

std::wstring LanguageNameFromAbbreviation(const std::wstring& abbreviation) {
  std::wstring name = abbreviation.substr(0, 2);
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return name;
}

}  // namespace i18n
