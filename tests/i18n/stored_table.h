// The program's stored translation table as the build wrote it, read back for tests.
#pragma once

#include <fstream>
#include <iterator>
#include <vector>

#include "translation_table.h"

inline i18n::TranslationTable ReadStoredTable() {
  std::ifstream file(PROJECT_BINARY_DIR "/i18n/translations.bin", std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
  i18n::TranslationTable table;
  i18n::ReadTranslationTable(bytes.data(), bytes.size(), &table);
  return table;
}
