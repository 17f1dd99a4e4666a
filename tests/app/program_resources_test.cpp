// The program carries what it needs at run time: the extraction library under language 3082,
// the window description, the stored translation table, and a manifest that asks for
// administrator rights and common controls 6 and leaves DPI scaling to the system.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/files.h"
#include "i18n/translation_table.h"
#include "win/resource.h"
#include "win/unique_resource.h"

namespace {

class ProgramResources : public ::testing::Test {
 protected:
  void SetUp() override {
    program_.reset(LoadLibraryExW(L"" PROGRAM_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(program_);
  }

  win::UniqueModule program_;
};

TEST_F(ProgramResources, CarriesTheLibraryUnderLanguage3082) {
  HRSRC found = FindResourceExW(program_.get(), MAKEINTRESOURCEW(10), L"URAR", 3082);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(SizeofResource(program_.get(), found), ReadFileBytes(LIBRARY_DLL).size());
  // A lookup that names no language finds it too, as the progress page's does.
  const std::string_view library = win::ResourceBytes(program_.get(), L"URAR");
  EXPECT_EQ(library, ReadFileBytes(LIBRARY_DLL));
  EXPECT_EQ(library.substr(0, 2), "MZ");
}

TEST_F(ProgramResources, CarriesTheDescriptionAndTheTable) {
  EXPECT_EQ(win::ResourceBytes(program_.get(), L"WINDOW_UI"),
            ReadFileBytes(SourcePath("app/window.ui")));
  const std::string_view table = win::ResourceBytes(program_.get(), L"TRANSLATIONS");
  i18n::TranslationTable parsed;
  ASSERT_TRUE(i18n::ReadTranslationTable(reinterpret_cast<const uint8_t*>(table.data()),
                                         table.size(), &parsed));
  EXPECT_EQ(parsed.window_texts.size(), 37u);  // as the window description has them
  EXPECT_NE(parsed.Find(L"es"), nullptr);
}

TEST_F(ProgramResources, ManifestAsksForAdministratorCommonControls6AndPerMonitorDpi) {
  HRSRC found = FindResourceW(program_.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(found, nullptr);
  const std::string manifest(
      static_cast<const char*>(LockResource(LoadResource(program_.get(), found))),
      SizeofResource(program_.get(), found));
  EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
            std::string::npos);
  // Per-monitor aware (v2 where the system has it): the window scales itself, never stretched.
  EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos);
  EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);
}

}  // namespace
