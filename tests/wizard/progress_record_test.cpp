#include "progress_record.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

struct StageValueCase {
  uint32_t total, done;
  float weight;
  int32_t expected;
};

TEST(ProgressRecord, DownloadStageValueTruncatesTowardZero) {
  const StageValueCase cases[] = {
      {0, 5000, 0.125f, 0},       // no length announced: nothing counts
      {1000, 1000, 0.125f, 12},   // a whole download counts 12.5 -> 12
      {1000, 999, 0.125f, 12},    // 12.4875
      {1000, 80, 0.125f, 1},      // 1.0 exactly
      {1000, 79, 0.125f, 0},      // 0.9875
      {1000, 1500, 0.125f, 18},   // re-sent after proxy credentials: keeps counting
      {3, 1, 0.5f, 16},           // 16.66...
      {1, std::numeric_limits<uint32_t>::max(), 0.125f, std::numeric_limits<int32_t>::max()},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DownloadStageValue(c.total, c.done, c.weight), c.expected)
        << c.done << "/" << c.total << " x " << c.weight;
}

// The percentages of a successful build, stage by stage, as the window's timer would read them.
TEST(ProgressRecord, StagesStackUpThroughAWholeBuild) {
  ProgressRecord record;
  record.SetPercent(0);
  record.BeginStage(0.125f);
  for (const auto& [done, expected] : {std::pair{0u, 0}, {400u, 5}, {1000u, 12}}) {
    ProgressRecord::DownloadProgress(&record, 1000, done, L"scanner.zip");
    EXPECT_EQ(record.GetPercent(), expected);
  }
  record.ResetStageValue();
  EXPECT_EQ(record.GetPercent(), 12);
  ProgressRecord::DownloadProgress(&record, 70000, 35000, L"system.zip");
  EXPECT_EQ(record.GetPercent(), 18);
  ProgressRecord::DownloadProgress(&record, 70000, 70000, L"system.zip");
  EXPECT_EQ(record.GetPercent(), 24);

  record.ResetStageValue();  // unpacking: fixed stage values
  record.AddStageProgress(13);
  EXPECT_EQ(record.GetPercent(), 37);
  record.AddStageProgress(25);
  EXPECT_EQ(record.GetPercent(), 49);

  record.BeginStage(0.5f);
  const std::pair<uint32_t, int32_t> signals[] = {{1, 49}, {2, 50}, {3, 50}, {4, 51},
                                                  {102, 100}, {103, 100}, {104, 101}};
  for (const auto& [n, expected] : signals) {
    record.InstallerSignalled(n);
    EXPECT_EQ(record.GetPercent(), expected) << "after signal " << n;
  }
}

TEST(ProgressRecord, DownloadsWithoutLengthLeaveOnlyTheUnpackSteps) {
  ProgressRecord record;
  record.BeginStage(0.125f);
  ProgressRecord::DownloadProgress(&record, 0, 123456, L"scanner.zip");
  record.ResetStageValue();
  ProgressRecord::DownloadProgress(&record, 0, 654321, L"system.zip");
  EXPECT_EQ(record.GetPercent(), 0);
  record.ResetStageValue();
  record.AddStageProgress(13);
  record.AddStageProgress(25);
  EXPECT_EQ(record.GetPercent(), 25);
}

TEST(ProgressRecord, InstallerSignalsCountHalfAPointEach) {
  for (const auto& [n, added] : {std::pair{2u, 1}, {3u, 1}, {4u, 2}}) {
    ProgressRecord record;
    record.SetPercent(49);
    record.BeginStage(0.5f);
    for (uint32_t i = 1; i <= n; ++i) record.InstallerSignalled(i);
    EXPECT_EQ(record.GetPercent(), 49 + added) << n << " signals";
  }
}

TEST(ProgressRecord, PercentIsNeitherClampedNorWrapped) {
  ProgressRecord record;
  record.SetPercent(std::numeric_limits<int32_t>::max() - 1);
  record.BeginStage(0.5f);
  record.AddStageProgress(10);
  EXPECT_EQ(record.GetPercent(), std::numeric_limits<int32_t>::max());
  record.SetPercent(150);
  EXPECT_EQ(record.GetPercent(), 150);
}

TEST(ProgressRecord, StatusTextIsACopy) {
  ProgressRecord record;
  EXPECT_EQ(record.GetStatusText(), L"");
  std::wstring text = L"Descargando";
  record.SetStatusText(text);
  text[0] = L'X';
  EXPECT_EQ(record.GetStatusText(), L"Descargando");
}

}  // namespace
