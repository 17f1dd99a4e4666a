// How texts are translated with the stored table.
//
// Window texts (labels, buttons, the frame's title) are translated with the active language by
// exact key match; each control keeps its English text as its key, so changing the language
// always starts from English again. Texts the program shows at run time go through
// TranslationLookup, which matches keys ignoring case and, on its first use, selects the
// language once more from the user's locale identifier.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "i18n/translation_table.h"

namespace i18n {

// The text a control shows for its English text under `active` (null: English): the value of
// the first line whose part before its first '=' equals `english` exactly, unless that value
// is empty.
std::wstring TranslateWindowText(const Language* active, const std::wstring& english);

// A field of a translated text ("{file}") and the value it stands for.
struct Placeholder {
  const wchar_t* name;
  std::wstring value;
};

// `text` with every placeholder replaced by its value, in one pass: a value that itself looks
// like a placeholder (a detail from an archive, the server or a path) stays as it arrived.
std::wstring Filled(const std::wstring& text, std::initializer_list<Placeholder> placeholders);

// The value of the first line whose key part has the key's length and equals it ignoring case,
// with the '=' and any spaces after it skipped; the key itself when no line matches or nothing
// is left after the spaces.
std::wstring LookupInLines(const std::vector<std::wstring>& lines, const wchar_t* key);

// The window's translation component: the stored table, the name last selected and the active
// language whose values the window texts show. `retranslate` is called whenever the active
// language was dropped or replaced, so that the window translates its texts again.
class WindowLanguages {
 public:
  WindowLanguages(TranslationTable table, std::function<void()> retranslate);

  // At load: the language named by the locale abbreviation becomes active when the table has
  // it; otherwise nothing changes and the window stays English.
  void SelectAtLoad(const std::wstring& name);
  // Selecting by name: "en" drops the active language; an unknown name changes nothing; a
  // known one becomes the active language.
  void Select(const std::wstring& name);

  std::wstring Translate(const std::wstring& english) const {
    return TranslateWindowText(active_, english);
  }
  const Language* Active() const { return active_; }
  const std::wstring& SelectedName() const { return selected_; }
  const TranslationTable& Table() const { return table_; }

 private:
  void Activate(const Language* language);

  TranslationTable table_;
  std::function<void()> retranslate_;
  std::wstring selected_;
  const Language* active_ = nullptr;
};

// LookupTranslation's state. Its first use that finds a line list ("es" for a Spanish locale
// identifier, else the identity language) selects that language for the window too and keeps
// the list; later uses only read the kept list, so they are safe from other threads once the
// first use has returned.
class TranslationLookup {
 public:
  std::wstring Lookup(WindowLanguages& languages, uint32_t user_lcid, const wchar_t* key);
  bool Initialised() const { return lines_ != nullptr; }

 private:
  const std::vector<std::wstring>* lines_ = nullptr;
};

// The identity language: every key maps to itself.
extern const wchar_t kIdentityLanguage[];

// "ESN" -> "es": the first two characters of a locale's abbreviated language name, lower case.
std::wstring LanguageNameFromAbbreviation(const std::wstring& abbreviation);

}  // namespace i18n
