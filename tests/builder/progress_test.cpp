// The progress plan and the record the window's timer reads: the percentages a build shows,
// stage by stage, and what the bar makes of them.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "builder/progress_plan.h"
#include "builder/progress_record.h"

namespace {

using progress_plan::DownloadStageValue;

int32_t Percent(const ProgressRecord& record) { return record.Snapshot().percent; }

TEST(ProgressPlan, DownloadStageValueTruncatesTowardZero) {
  const struct {
    uint32_t length, received;
    int32_t expected;
  } cases[] = {
      {0, 5000, 0},      // no length announced: nothing counts
      {1000, 1000, 12},  // a whole archive counts 12.5 -> 12
      {1000, 999, 12},   // 12.4875
      {1000, 80, 1},     // 1.0 exactly
      {1000, 79, 0},     // 0.9875
      {1000, 1500, 18},  // re-sent after proxy credentials: keeps counting
      {3, 1, 4},         // 4.1666...
      {1, std::numeric_limits<uint32_t>::max(), std::numeric_limits<int32_t>::max()},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DownloadStageValue(c.length, c.received), c.expected)
        << c.received << "/" << c.length;
}

TEST(ProgressPlan, TheBarShowsAnOvershootAsOnePointShortOfTheWhole) {
  const std::pair<int32_t, int32_t> cases[] = {{0, 0},
                                               {49, 49},
                                               {99, 99},
                                               {100, 100},
                                               {101, 99},
                                               {5000, 99},
                                               {std::numeric_limits<int32_t>::max(), 99},
                                               {-3, 0}};
  for (const auto& [percent, shown] : cases)
    EXPECT_EQ(progress_plan::ShownPercent(percent), shown) << percent;
}

// The percentages of a successful build, stage by stage, as the window's timer reads them.
TEST(ProgressRecord, StagesStackUpThroughAWholeBuild) {
  ProgressRecord record;
  record.SetPercent(0);
  record.ResetStageValue();
  for (const auto& [received, expected] : {std::pair{0u, 0}, {400u, 5}, {1000u, 12}}) {
    record.DownloadProgressed(1000, received);
    EXPECT_EQ(Percent(record), expected);
  }
  record.ResetStageValue();
  EXPECT_EQ(Percent(record), 12);
  record.DownloadProgressed(70000, 35000);
  EXPECT_EQ(Percent(record), 18);
  record.DownloadProgressed(70000, 70000);
  EXPECT_EQ(Percent(record), 24);

  record.ResetStageValue();
  record.ArchivesUnpacked(1);
  EXPECT_EQ(Percent(record), 37);
  record.ArchivesUnpacked(2);
  EXPECT_EQ(Percent(record), 49);

  record.ResetStageValue();
  const std::pair<uint32_t, int32_t> signals[] = {{1, 49},    {2, 50},    {3, 50},   {4, 51},
                                                  {102, 100}, {103, 100}, {104, 101}};
  for (const auto& [n, expected] : signals) {
    record.InstallerSignalled(n);
    EXPECT_EQ(Percent(record), expected) << "after signal " << n;
  }
}

TEST(ProgressRecord, DownloadsWithoutLengthLeaveOnlyTheUnpackSteps) {
  ProgressRecord record;
  record.DownloadProgressed(0, 123456);
  record.ResetStageValue();
  record.DownloadProgressed(0, 654321);
  EXPECT_EQ(Percent(record), 0);
  record.ResetStageValue();
  record.ArchivesUnpacked(1);
  record.ArchivesUnpacked(2);
  EXPECT_EQ(Percent(record), 25);
}

TEST(ProgressRecord, InstallerSignalsCountHalfAPointEach) {
  for (const auto& [n, added] : {std::pair{2u, 1}, {3u, 1}, {4u, 2}, {5u, 2}}) {
    ProgressRecord record;
    record.SetPercent(49);
    record.ResetStageValue();
    for (uint32_t i = 1; i <= n; ++i) record.InstallerSignalled(i);
    EXPECT_EQ(Percent(record), 49 + added) << n << " signals";
  }
}

TEST(ProgressRecord, PercentIsNeitherClampedNorWrapped) {
  ProgressRecord record;
  record.SetPercent(std::numeric_limits<int32_t>::max() - 1);
  record.AddStageProgress(10);
  EXPECT_EQ(Percent(record), std::numeric_limits<int32_t>::max());
  record.SetPercent(150);
  EXPECT_EQ(Percent(record), 150);
}

TEST(ProgressRecord, SnapshotHoldsACopyOfTheStatus) {
  ProgressRecord record;
  EXPECT_EQ(record.Snapshot().status, L"");
  std::wstring text = L"Descargando";
  record.SetStatusText(text);
  text[0] = L'X';
  record.SetPercent(37);
  const ProgressSnapshot snapshot = record.Snapshot();
  EXPECT_EQ(snapshot.status, L"Descargando");
  EXPECT_EQ(snapshot.percent, 37);
}

}  // namespace
