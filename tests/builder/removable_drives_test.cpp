// Which volumes the drive list offers, what keeps a drive from being used, and how a drive reads
// in the list: its name, label and size in decimal units.
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

TEST(RemovableDrives, ListsRemovableDrivesAndUsbDisksThatHoldNoSystem) {
  using K = VolumeKind;
  using B = BusKind;
  const struct {
    VolumeFacts volume;
    bool listed;
  } cases[] = {
      {{K::Removable, B::Unknown, false}, true}, {{K::Removable, B::Usb, false}, true},
      {{K::Fixed, B::Usb, false}, true},       // a USB stick or SSD reporting as a fixed disk
      {{K::Fixed, B::Usb, true}, false},       // holds Windows, the paging file or this program
      {{K::Fixed, B::Other, false}, false},    // an internal disk (SATA, NVMe, ...)
      {{K::Fixed, B::Unknown, false}, false},  // the bus could not be asked
      {{K::Other, B::Usb, false}, false},      // optical, network, RAM disk
  };
  for (const auto& c : cases)
    EXPECT_EQ(ListsVolume(c.volume), c.listed)
        << static_cast<int>(c.volume.kind) << static_cast<int>(c.volume.bus)
        << c.volume.holds_system;
}

TEST(RemovableDrives, TheFirstProblemToMendIsReported) {
  const uint64_t need = 512'000'000;
  const struct {
    bool medium, writable;
    uint64_t size;
    DriveProblem problem;
  } cases[] = {
      {true, true, 16'000'000'000, DriveProblem::None},
      {true, true, need, DriveProblem::None},  // exactly enough
      {true, true, need - 1, DriveProblem::TooSmall},
      {true, false, 16'000'000'000, DriveProblem::WriteProtected},
      {true, false, 1'440'000, DriveProblem::WriteProtected},
      {false, false, 0, DriveProblem::NoMedium},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ProblemOf(c.medium, c.writable, c.size, need), c.problem) << c.size;
  EXPECT_GT(RequiredDriveBytes(), 0u);
}

TEST(RemovableDrives, TheInstallerGetsTheDriveName) {
  EXPECT_EQ(DriveName(L"E:\\"), L"E:");
  EXPECT_EQ(DriveName(L"\\\\server\\share\\"), L"\\\\server\\share\\");
}

}  // namespace
