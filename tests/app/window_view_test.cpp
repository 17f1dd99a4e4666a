// What the progress page shows for the snapshot the timer reads.
#include "app/window_view.h"

#include <gtest/gtest.h>

#include <limits>

#include "builder/progress_plan.h"
#include "tests/support/test_window_view.h"

namespace {

TEST(WindowView, TheBarsMaximumIsThePlansWhole) {
  TestWindowView view(0x0409);
  EXPECT_EQ(view.Scene().FindAs<ui::ProgressBar>("ProgressBar")->Maximum(), progress_plan::kWhole);
}

TEST(WindowView, ShowsAnOvershootOnePointShortOfAFullBar) {
  TestWindowView view(0x0409);
  auto& bar = *view.Scene().FindAs<ui::ProgressBar>("ProgressBar");
  const std::pair<int32_t, double> cases[] = {{0, 0},
                                              {49, 49},
                                              {99, 99},
                                              {100, 100},
                                              {101, 99},
                                              {5000, 99},
                                              {std::numeric_limits<int32_t>::max(), 99}};
  for (const auto& [percent, shown] : cases) {
    view.ShowProgress({percent, L"Descargando"});
    EXPECT_EQ(bar.Value(), shown) << percent;
  }
  EXPECT_EQ(view.Control("StatusLabel")->Text(), L"Descargando");
}

TEST(WindowView, AnUnchangedTickTouchesNothing) {
  TestWindowView view(0x0409);
  int changes = 0;
  view.Scene().SetChangeHandler([&] { ++changes; });
  view.ShowProgress({12, L"Downloading"});
  view.Scene().MarkDrawn();
  changes = 0;
  view.ShowProgress({12, L"Downloading"});
  EXPECT_EQ(changes, 0);
  EXPECT_FALSE(view.Scene().NeedsRedraw());
  view.ShowProgress({12, L"downloading"});  // texts compare case-sensitively
  EXPECT_EQ(view.Control("StatusLabel")->Text(), L"downloading");
  EXPECT_TRUE(view.Scene().NeedsRedraw());
}

}  // namespace
