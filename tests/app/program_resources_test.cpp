// The program carries what it needs at run time: the extraction library under language 3082,
// the window description, the stored translation table, and a manifest that asks for
// administrator rights and common controls 6 and leaves DPI scaling to the system.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "translation_table.h"

namespace {

const wchar_t* const kRcData = MAKEINTRESOURCEW(10);
const wchar_t* const kManifest = MAKEINTRESOURCEW(24);

std::string ReadFile(const char* path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

class ProgramResources : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = LoadLibraryExW(L"" PROGRAM_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program_, nullptr);
  }
  void TearDown() override { FreeLibrary(program_); }

  // The bytes of a resource, or an empty string when it is missing.
  std::string Resource(const wchar_t* type, const wchar_t* name, WORD language) {
    HRSRC found = FindResourceExW(program_, type, name, language);
    HGLOBAL loaded = found ? LoadResource(program_, found) : nullptr;
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    return bytes ? std::string(bytes, SizeofResource(program_, found)) : std::string();
  }

  HMODULE program_ = nullptr;
};

TEST_F(ProgramResources, CarriesTheLibraryUnderLanguage3082) {
  const std::string library = Resource(kRcData, L"URAR", 3082);
  EXPECT_EQ(library, ReadFile(LIBRARY_DLL));
  EXPECT_EQ(library.substr(0, 2), "MZ");
  // A lookup that names no language finds it too, as the progress page's does.
  EXPECT_NE(FindResourceW(program_, L"URAR", kRcData), nullptr);
}

TEST_F(ProgramResources, CarriesTheDescriptionAndTheTable) {
  HRSRC description = FindResourceW(program_, L"WINDOW_UI", kRcData);
  ASSERT_NE(description, nullptr);
  EXPECT_EQ(SizeofResource(program_, description),
            ReadFile(PROJECT_SOURCE_DIR "/app/window.ui").size());
  HRSRC table = FindResourceW(program_, L"VGLANG1", kRcData);
  ASSERT_NE(table, nullptr);
  const auto* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(program_, table)));
  i18n::TranslationTable parsed;
  ASSERT_TRUE(i18n::ReadTranslationTable(bytes, SizeofResource(program_, table), &parsed));
  EXPECT_EQ(parsed.window_texts.size(), 18u);
  EXPECT_NE(parsed.Find(L"es"), nullptr);
}

TEST_F(ProgramResources, ManifestAsksForAdministratorAndCommonControls6) {
  HRSRC found = FindResourceW(program_, MAKEINTRESOURCEW(1), kManifest);
  ASSERT_NE(found, nullptr);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(program_, found))),
                             SizeofResource(program_, found));
  EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
            std::string::npos);
  EXPECT_NE(manifest.find(">false</dpiAware>"), std::string::npos);
}

}  // namespace
