#include "i18n/translation.h"

#include <gtest/gtest.h>

#include "tests/support/window_description.h"

namespace {

using i18n::Filled;
using i18n::Language;
using i18n::LookupInLines;
using i18n::TranslateWindowText;
using i18n::TranslationLookup;
using i18n::WindowLanguages;

constexpr uint32_t kSpain = 0x0C0A, kMexico = 0x080A, kGermany = 0x0407, kUs = 0x0409;

struct LookupCase {
  uint32_t lcid;
  const wchar_t* key;
  std::wstring expected;
};

TEST(LookupTranslation, WithTheStoredTable) {
  const LookupCase cases[] = {
      {kSpain, L"Downloading", L"Descargando"},
      {kSpain, L"dOWNLOADING", L"Descargando"},  // any mix of capitals and small letters
      {kMexico, L"DOWNLOADING", L"Descargando"},
      {kSpain, L"Install", L"Instalar"},  // keys match only lines of their own length
      {kSpain, L"Install the rescue USB drive", L"Instala el an\u00e1lisis autoarrancable en USB"},
      {kSpain, L"Installing the rescue USB drive", L"Creando an\u00e1lisis autoarrancable en USB"},
      {kSpain, L"E", L"E"},                        // a drive letter: no key
      {kSpain, L"Close=Cerrar", L"Close=Cerrar"},  // a key holding '=' matches nothing
      {kSpain, L"", L""},
      {kGermany, L"Downloading", L"Downloading"},
      {kGermany, L"downloading", L"Downloading"},  // the identity line's value
      {kUs, L"Rescue USB drive created correctly", L"Rescue USB drive created correctly"},
      {kUs, L"Unknown text", L"Unknown text"},
  };
  for (const auto& c : cases) {
    WindowLanguages languages(LoadStoredTranslationTable(), nullptr);
    TranslationLookup lookup;
    EXPECT_EQ(lookup.Lookup(languages, c.lcid, c.key), c.expected)
        << std::hex << c.lcid << " " << std::wstring(c.key).size();
    EXPECT_TRUE(lookup.Initialised());
  }
}

TEST(LookupTranslation, ValueSpacingAndKeyEdgeCases) {
  const std::vector<std::wstring> lines = {
      L"abc",     L"lead=   spaced out ", L"blank=",  L"spaces=   ",
      L"tab=\tx", L"=empty key",          L"x=first", L"X=second"};
  EXPECT_EQ(LookupInLines(lines, L"lead"), L"spaced out ");
  EXPECT_EQ(LookupInLines(lines, L"blank"), L"blank");
  EXPECT_EQ(LookupInLines(lines, L"spaces"), L"spaces");
  EXPECT_EQ(LookupInLines(lines, L"tab"), L"\tx");  // only U+0020 is skipped
  EXPECT_EQ(LookupInLines(lines, L"abc"), L"abc");  // a line without '=' never matches
  EXPECT_EQ(LookupInLines(lines, L""), L"empty key");
  EXPECT_EQ(LookupInLines(lines, L"X"), L"first");  // first match in list order
  EXPECT_EQ(LookupInLines(lines, L"lea"), L"lea");
}

TEST(WindowTexts, MatchExactlyAndFallBackToEnglish) {
  const Language spanish{L"es", {L"Start=Comenzar", L"Empty=", L"Close=Cerrar=2"}};
  EXPECT_EQ(TranslateWindowText(&spanish, L"Start"), L"Comenzar");
  EXPECT_EQ(TranslateWindowText(&spanish, L"start"), L"start");  // case-sensitive
  EXPECT_EQ(TranslateWindowText(&spanish, L"Empty"), L"Empty");
  EXPECT_EQ(TranslateWindowText(&spanish, L"Close"), L"Cerrar=2");
  EXPECT_EQ(TranslateWindowText(nullptr, L"Start"), L"Start");
}

TEST(WindowLanguages, SelectionAtLoadAndByName) {
  int retranslations = 0;
  WindowLanguages languages(LoadStoredTranslationTable(), [&] { ++retranslations; });
  languages.SelectAtLoad(L"de");  // a German user: no such language, English stays
  languages.SelectAtLoad(L"");
  EXPECT_EQ(languages.Active(), nullptr);
  EXPECT_EQ(retranslations, 0);
  EXPECT_EQ(languages.Translate(L"Start"), L"Start");

  languages.SelectAtLoad(i18n::LanguageNameFromAbbreviation(L"ESN"));
  EXPECT_EQ(retranslations, 1);
  EXPECT_EQ(languages.Translate(L"Start"), L"Comenzar");

  languages.Select(L"xx");  // unknown: nothing changes but the recorded name
  EXPECT_EQ(languages.SelectedName(), L"xx");
  EXPECT_EQ(languages.Translate(L"Start"), L"Comenzar");
  EXPECT_EQ(retranslations, 1);

  languages.Select(L"en");
  EXPECT_EQ(languages.Active(), nullptr);
  EXPECT_EQ(retranslations, 2);
}

TEST(LookupTranslation, FirstUseSelectsByLocaleIdentifierOnce) {
  int retranslations = 0;
  WindowLanguages languages(LoadStoredTranslationTable(), [&] { ++retranslations; });
  languages.SelectAtLoad(L"de");
  TranslationLookup lookup;
  // A Spanish identifier wins over whatever the abbreviation chose at load.
  EXPECT_EQ(lookup.Lookup(languages, kSpain, L"Close"), L"Cerrar");
  EXPECT_EQ(retranslations, 1);
  EXPECT_EQ(languages.Translate(L"Close"), L"Cerrar");
  EXPECT_EQ(lookup.Lookup(languages, kGermany, L"Close"), L"Cerrar");  // kept list
  EXPECT_EQ(retranslations, 1);

  WindowLanguages german(LoadStoredTranslationTable(), nullptr);
  TranslationLookup german_lookup;
  german_lookup.Lookup(german, kGermany, L"Close");
  EXPECT_EQ(german.Active()->name, L"\u00f1\u00f1");
  EXPECT_EQ(german.Translate(L"Close"), L"Close");
}

TEST(LookupTranslation, MissingLanguagesFallBackThenRetry) {
  i18n::TranslationTable identity_only;
  identity_only.languages.push_back({L"\u00f1\u00f1", {L"Close=Close"}});
  WindowLanguages languages(identity_only, nullptr);
  TranslationLookup lookup;
  EXPECT_EQ(lookup.Lookup(languages, kSpain, L"close"), L"Close");
  EXPECT_EQ(languages.Active()->name, L"\u00f1\u00f1");

  WindowLanguages empty(i18n::TranslationTable{}, nullptr);
  TranslationLookup empty_lookup;
  EXPECT_EQ(empty_lookup.Lookup(empty, kSpain, L"Close"), L"Close");
  EXPECT_FALSE(empty_lookup.Initialised());
  EXPECT_EQ(empty_lookup.Lookup(empty, kSpain, L"Start"), L"Start");
  EXPECT_FALSE(empty_lookup.Initialised());
}

// Fields are filled in one pass: a value that looks like a field (a name from an archive, a
// path) is shown as it came, and a field the text lacks or has twice is handled alike.
TEST(FilledTexts, EveryFieldOnceOverValuesThatLookLikeFields) {
  const struct {
    const wchar_t* text;
    const wchar_t* filled;
  } cases[] = {
      {L"Unpacking: {file}, entry {entry}", L"Unpacking: {entry}.zip, entry a{file}b"},
      {L"{file} and {file}", L"{entry}.zip and {entry}.zip"},
      {L"no field, {other} kept", L"no field, {other} kept"},
      {L"{file", L"{file"},
      {L"", L""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Filled(c.text, {{L"{file}", L"{entry}.zip"}, {L"{entry}", L"a{file}b"}}), c.filled)
        << c.text;
}

}  // namespace
