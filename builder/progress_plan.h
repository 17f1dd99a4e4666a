// How the progress bar's whole is made up: the build's three stages, each with the points it
// adds to the bar when it ends as planned, and how a stage turns its own progress into points.
//
// Each stage reports a stage value that starts at 0 and grows; the progress record adds the
// difference between successive values to the overall percentage (see progress_record.h), so a
// stage only needs to know its own share. The shares add up to the bar's whole; what truncation
// leaves out shows as the bar's last point or two (two complete downloads give 24, not 25; the
// installer needs 102 signals, not 100, to bring a build to 100).
#pragma once

#include <cstdint>

namespace progress_plan {

constexpr int32_t kWhole = 100;    // the progress bar's maximum
constexpr uint32_t kArchives = 2;  // "scanner.zip", then "system.zip"

enum class Stage { Download, Unpack, Install };

struct StageShare {
  Stage stage;
  int32_t points;
};

// stage     points  what fills it
constexpr StageShare kStages[] = {
    {Stage::Download, 25},  // bytes received over the announced length, 12.5 per archive
    {Stage::Unpack, 25},    // 13 after the first archive, all 25 after the second
    {Stage::Install, 50},   // half a point per installer signal
};

constexpr int32_t Points(Stage stage) {
  for (const StageShare& share : kStages)
    if (share.stage == stage) return share.points;
  return 0;
}

constexpr int32_t TotalPoints() {
  int32_t total = 0;
  for (const StageShare& share : kStages) total += share.points;
  return total;
}
static_assert(TotalPoints() == kWhole, "the stages fill the bar exactly");

// The stages as the progress page counts them: "Step 2 of 3".
constexpr int32_t kStageCount = static_cast<int32_t>(sizeof kStages / sizeof kStages[0]);
constexpr int32_t StepOf(Stage stage) {
  for (int32_t i = 0; i < kStageCount; ++i)
    if (kStages[i].stage == stage) return i + 1;
  return 0;
}

// Signals the installer is expected to give for its whole share.
constexpr uint32_t kInstallerSignals = 100;

// A download's stage value: received × its archive's points ÷ announced length, in extended
// precision, truncated toward zero; 0 when no length was announced. Not capped: a download that
// is sent again after proxy credentials keeps counting from where it stopped.
int32_t DownloadStageValue(uint64_t length, uint64_t received);

// The unpack stage's value once `unpacked` archives are done: the stage's points shared out over
// the archives, rounded up (13, then 25).
int32_t UnpackStageValue(uint32_t unpacked);

// The installer stage's value after its `signals`-th signal, truncated toward zero. Not capped.
int32_t InstallStageValue(uint32_t signals);

// What the bar shows for an overall percentage: a build that overshoots shows one point short of
// the whole rather than a finished bar (the whole itself passes), and nothing below empty.
int32_t ShownPercent(int32_t percent);

// `value` in int32_t, saturated at its ends and truncated toward zero.
int32_t SaturatedPoints(long double value);

}  // namespace progress_plan
