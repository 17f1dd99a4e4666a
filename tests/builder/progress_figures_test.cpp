// The progress page's download figures: the smoothed speed and when it shows, the time left,
// waiting for the server, and the figures' texts in both decimal marks.
#include "builder/progress_figures.h"

#include <gtest/gtest.h>

namespace {

using progress_figures::DownloadFigures;

// Readings every 100 ms, as the page's timer takes them, at `rate` bytes a second.
void Feed(DownloadFigures& figures, double& now, uint64_t& received, double seconds, uint64_t rate,
          uint64_t expected) {
  for (int tick = 0; tick < static_cast<int>(seconds * 10 + 0.5); ++tick) {
    now += 0.1;
    received += rate / 10;
    figures.Observe(now, received, expected);
  }
}

TEST(ProgressFigures, SpeedShowsOnceMeaningfulAndFollowsAChangeSmoothly) {
  DownloadFigures figures;
  double now = 100;
  uint64_t received = 0;
  const uint64_t expected = 320'800'000;
  figures.Observe(now, received, expected);
  Feed(figures, now, received, 2.5, 1'000'000, expected);
  EXPECT_EQ(figures.Speed(), 0);  // not yet meaningful
  EXPECT_LT(figures.SecondsLeft(), 0);
  Feed(figures, now, received, 10, 1'000'000, expected);
  EXPECT_NEAR(figures.Speed(), 1'000'000, 1000);
  EXPECT_NEAR(figures.SecondsLeft(), (expected - received) / 1e6, 1);

  // The line slows to a quarter: one second later the speed has moved only part of the way.
  Feed(figures, now, received, 1, 250'000, expected);
  EXPECT_GT(figures.Speed(), 600'000);
  EXPECT_LT(figures.Speed(), 900'000);
  Feed(figures, now, received, 30, 250'000, expected);
  EXPECT_NEAR(figures.Speed(), 250'000, 2000);
  EXPECT_FALSE(figures.Waiting(now));
}

TEST(ProgressFigures, NoByteForFiveSecondsIsWaitingAndANewDownloadStartsOver) {
  DownloadFigures figures;
  double now = 0;
  uint64_t received = 0;
  figures.Observe(now, 0, 1'000'000);
  EXPECT_FALSE(figures.Waiting(now + 4.9));
  EXPECT_TRUE(figures.Waiting(now + 5));  // not a byte since the first reading
  Feed(figures, now, received, 5, 100'000, 1'000'000);
  Feed(figures, now, received, 4.8, 0, 1'000'000);
  EXPECT_FALSE(figures.Waiting(now));
  Feed(figures, now, received, 0.3, 0, 1'000'000);
  EXPECT_TRUE(figures.Waiting(now));
  EXPECT_GT(figures.Speed(), 0);  // decaying, not reset: the page shows the wait instead

  // The second archive: fewer bytes than before, another length.
  figures.Observe(now + 0.1, 8096, 5'000'000);
  EXPECT_EQ(figures.Speed(), 0);
  EXPECT_FALSE(figures.Waiting(now + 0.1));
}

TEST(ProgressFigures, UnknownLengthGivesASpeedButNoTimeLeft) {
  DownloadFigures figures;
  double now = 0;
  uint64_t received = 0;
  figures.Observe(now, 0, 0);
  Feed(figures, now, received, 5, 500'000, 0);
  EXPECT_NEAR(figures.Speed(), 500'000, 1000);
  EXPECT_LT(figures.SecondsLeft(), 0);
}

TEST(ProgressFigures, Texts) {
  // The unit follows the whole length, so the figure before it never changes unit mid-way.
  const struct {
    uint64_t received, expected;
    wchar_t mark;
    const wchar_t *done, *total;
  } amounts[] = {
      {45'249'999, 320'800'000, L'.', L"45.2", L"320.8 MB"},
      {0, 320'850'000, L',', L"0,0", L"320,9 MB"},
      {12'345, 40'960, L',', L"12", L"41 KB"},
      {999'499, 1'000'000, L'.', L"1.0", L"1.0 MB"},
      {2'500'000, 0, L',', L"2,5 MB", L""},
      {499, 0, L'.', L"0 KB", L""},
      {18'446'744'073'709'551'615ull, 0, L'.', L"18446744073709.6 MB", L""},
  };
  for (const auto& a : amounts) {
    const progress_figures::Amount amount =
        progress_figures::AmountText(a.received, a.expected, a.mark);
    EXPECT_EQ(amount.done, a.done) << a.received;
    EXPECT_EQ(amount.total, a.total) << a.received;
  }
  const struct {
    double speed;
    const wchar_t* text;
  } speeds[] = {{1'234'567, L"1,2 MB/s"}, {95'000, L"0,1 MB/s"}, {94'999, L"95 KB/s"},
                {400, L"0 KB/s"},         {0, L"0 KB/s"},        {12'960'000, L"13,0 MB/s"}};
  for (const auto& s : speeds) EXPECT_EQ(progress_figures::SpeedText(s.speed, L','), s.text);
  const struct {
    double seconds;
    const wchar_t* text;
  } durations[] = {{0, L"0 s"},       {0.2, L"5 s"},         {41, L"45 s"},
                   {56, L"60 s"},     {59.5, L"1 min"},      {61, L"2 min"},
                   {3540, L"59 min"}, {3541, L"1 h 00 min"}, {3600 * 26 + 300, L"26 h 05 min"}};
  for (const auto& d : durations)
    EXPECT_EQ(progress_figures::DurationText(d.seconds), d.text) << d.seconds;
}

}  // namespace
