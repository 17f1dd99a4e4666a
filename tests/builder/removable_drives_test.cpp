// How a drive reads in the drive list: its name, label and size in decimal units.
#include "builder/removable_drives.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(RemovableDrives, SizesInDecimalUnitsWithOneDecimal) {
  const std::pair<uint64_t, const wchar_t*> cases[] = {
      {0, L""},  // unknown: no medium
      {1'440'000, L"1.4 MB"},
      {949'999'999, L"950.0 MB"},
      {960'000'000, L"960.0 MB"},
      {999'949'999, L"999.9 MB"},
      {999'950'000, L"1.0 GB"},  // rounds up into the next unit, never "1000.0 MB"
      {1'000'000'000, L"1.0 GB"},
      {14'950'000'000, L"15.0 GB"},
      {15'931'539'456, L"15.9 GB"},
      {2'000'398'934'016, L"2000.4 GB"},
      {UINT64_MAX, L"18446744073.7 GB"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(SizeText(bytes, L'.'), text) << bytes;
  EXPECT_EQ(SizeText(14'900'000'000, L','), L"14,9 GB");
}

TEST(RemovableDrives, DriveTextLeavesOutWhatIsUnknown) {
  const struct {
    RemovableDrive drive;
    const wchar_t* text;
  } cases[] = {
      {{L"E:\\", L"RESCUE", 14'900'000'000}, L"E:  RESCUE  14.9 GB"},
      {{L"E:\\", L"", 14'900'000'000}, L"E:  14.9 GB"},
      {{L"E:\\", L"RESCUE", 0}, L"E:  RESCUE"},
      {{L"E:\\", L"", 0}, L"E:"},
      // Odd characters are shown as they are; control characters would break the line.
      {{L"F:\\", L"\u00d1and\u00fa \u2603 <&>", 0}, L"F:  \u00d1and\u00fa \u2603 <&>"},
      {{L"F:\\", L"TWO\tLINES\r\n", 0}, L"F:  TWO LINES"},
      {{L"F:\\", L"   ", 0}, L"F:"},
      {{L"\\\\server\\share\\", L"", 0}, L"\\\\server\\share\\"},
  };
  for (const auto& c : cases) EXPECT_EQ(DriveText(c.drive, L'.'), c.text);
}

TEST(RemovableDrives, TheInstallerGetsTheDriveName) {
  EXPECT_EQ(DriveName(L"E:\\"), L"E:");
  EXPECT_EQ(DriveName(L"\\\\server\\share\\"), L"\\\\server\\share\\");
}

}  // namespace
