// What the progress page shows for the percentage and status the timer reads.
#include "progress_display.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

std::unique_ptr<ui::Scene> LoadWindow() {
  std::ifstream file(PROJECT_SOURCE_DIR "/app/window.ui", std::ios::binary);
  std::string error;
  auto scene = ui::Scene::Load(std::string(std::istreambuf_iterator<char>(file), {}), &error);
  EXPECT_TRUE(scene) << error;
  return scene;
}

TEST(ProgressDisplay, ClampsAboveTheMaximumOnly) {
  auto scene = LoadWindow();
  auto& bar = *scene->FindAs<ui::ProgressBar>("ProgressBar1");
  auto& label = *scene->Find("Label11");
  ASSERT_EQ(bar.Maximum(), 100);
  const std::pair<int, double> cases[] = {{0, 0},   {49, 49}, {99, 99},  {100, 100},
                                          {101, 99}, {5000, 99}, {INT32_MAX, 99}};
  for (const auto& [percent, shown] : cases) {
    ShowProgress(bar, label, percent, L"Descargando");
    EXPECT_EQ(bar.Value(), shown) << percent;
  }
  EXPECT_EQ(label.Text(), L"Descargando");
}

TEST(ProgressDisplay, AnUnchangedTickTouchesNothing) {
  auto scene = LoadWindow();
  int changes = 0;
  scene->SetChangeHandler([&] { ++changes; });
  auto& bar = *scene->FindAs<ui::ProgressBar>("ProgressBar1");
  auto& label = *scene->Find("Label11");
  ShowProgress(bar, label, 12, L"Downloading");
  scene->MarkDrawn();
  changes = 0;
  ShowProgress(bar, label, 12, L"Downloading");
  EXPECT_EQ(changes, 0);
  EXPECT_FALSE(scene->NeedsRedraw());
  ShowProgress(bar, label, 12, L"downloading");  // texts compare case-sensitively
  EXPECT_EQ(label.Text(), L"downloading");
  EXPECT_TRUE(scene->NeedsRedraw());
}

}  // namespace
