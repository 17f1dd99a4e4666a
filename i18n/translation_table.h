// The stored translation table: the list of texts the window holds, and per language a list of
// "key=value" lines whose keys are English texts.
//
// Stored form (integers unsigned 32-bit little-endian; texts UTF-16LE without terminator; a
// count is a number of UTF-16 code units): window-text count, window texts (lines, each ended by
// CR LF), language count, then per language: name count, name, line count, lines (each ended
// by CR LF). Texts are kept as wchar_t strings holding one UTF-16 code unit per element.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace i18n {

struct Language {
  std::wstring name;
  std::vector<std::wstring> lines;  // in stored order
};

struct TranslationTable {
  std::vector<std::wstring> window_texts;
  std::vector<Language> languages;

  // The language of exactly that name (case-sensitive), or null.
  const Language* Find(const std::wstring& name) const;
};

// Parses the stored form. Any count that runs past the end of the data, or bytes left over
// after the last language, make it return false with *table left empty.
bool ReadTranslationTable(const uint8_t* data, size_t size, TranslationTable* table);

}  // namespace i18n
