#include "i18n/translation_table.h"

#include <gtest/gtest.h>

#include "tests/i18n/table_bytes.h"

namespace {

using i18n::ReadTranslationTable;
using i18n::TranslationTable;

std::vector<uint8_t> SmallTable() {
  return TableBytes()
      .Text(L"Close\r\nStart\r\n")
      .U32(2)
      .Text(L"\u00f1\u00f1")
      .Text(L"Close=Close\r\nStart=Start\r\n")
      .Text(L"es")
      .Text(L"Close=Cerrar\r\nStart=Comenzar\r\n")
      .Bytes();
}

TEST(TranslationTableReader, ReadsAHandWrittenTable) {
  const auto bytes = SmallTable();
  TranslationTable table;
  ASSERT_TRUE(ReadTranslationTable(bytes.data(), bytes.size(), &table));
  EXPECT_EQ(table.window_texts, (std::vector<std::wstring>{L"Close", L"Start"}));
  ASSERT_EQ(table.languages.size(), 2u);
  EXPECT_EQ(table.languages[0].name, L"\u00f1\u00f1");
  EXPECT_EQ(table.languages[1].lines,
            (std::vector<std::wstring>{L"Close=Cerrar", L"Start=Comenzar"}));
  EXPECT_EQ(table.Find(L"es"), &table.languages[1]);
  EXPECT_EQ(table.Find(L"ES"), nullptr);
  EXPECT_EQ(table.Find(L"de"), nullptr);
}

TEST(TranslationTableReader, KeepsAnUnterminatedLastLineAndEmptyLists) {
  const auto bytes = TableBytes().Text(L"").U32(1).Text(L"es").Text(L"a=b\r\n\r\nc=d").Bytes();
  TranslationTable table;
  ASSERT_TRUE(ReadTranslationTable(bytes.data(), bytes.size(), &table));
  EXPECT_TRUE(table.window_texts.empty());
  EXPECT_EQ(table.languages[0].lines, (std::vector<std::wstring>{L"a=b", L"", L"c=d"}));
}

TEST(TranslationTableReader, RefusesMalformedTables) {
  const auto good = SmallTable();
  // Every truncation fails, including the one that cuts the table between two languages.
  for (size_t size = 0; size < good.size(); ++size) {
    TranslationTable table;
    EXPECT_FALSE(ReadTranslationTable(good.data(), size, &table)) << "cut at " << size;
    EXPECT_TRUE(table.languages.empty() && table.window_texts.empty());
  }
  auto trailing = good;
  trailing.push_back(0);
  TranslationTable table;
  EXPECT_FALSE(ReadTranslationTable(trailing.data(), trailing.size(), &table));

  // Counts far beyond the data: refused before anything that large is allocated.
  const std::vector<std::vector<uint8_t>> corrupt = {
      TableBytes().U32(0xFFFFFFFF).Units(L"x").Bytes(),
      TableBytes().Text(L"").U32(0xFFFFFFFF).Bytes(),
      TableBytes().Text(L"").U32(1).U32(0x80000000).Units(L"es").Bytes(),
      TableBytes().Text(L"").U32(1).Text(L"es").U32(3).Units(L"ab").Bytes(),
  };
  for (const auto& bytes : corrupt)
    EXPECT_FALSE(ReadTranslationTable(bytes.data(), bytes.size(), &table));
}

}  // namespace
