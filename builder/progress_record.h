// The build's progress as the progress page shows it: one overall percentage and one status
// line, written by whichever stage is running and read, as one snapshot, by the window's 100 ms
// timer.
//
// Every stage reports its own stage value (progress_plan.h says how each stage computes it);
// AddStageProgress adds the difference to the last value to the overall percentage, so the
// stages stack up without knowing where the others ended. The percentage is never reset between
// stages and never capped here: the view applies the plan's ShownPercent when it draws the bar.
//
// The lock guards the percentage and the status text, and is held for one read or one write
// only. The stage value is unguarded: the worker resets it before it starts a stage's reporter
// (a download, the installer monitor), and exactly one reporter runs at a time.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

// What the progress page shows at one moment.
struct ProgressSnapshot {
  int32_t percent = 0;
  std::wstring status;
};

class ProgressRecord {
 public:
  void SetPercent(int32_t value);
  // Percent += value - stage value (read and write lock separately), then stage value = value.
  void AddStageProgress(int32_t value);
  void SetStatusText(const std::wstring& text);
  // Both values under one taking of the lock.
  ProgressSnapshot Snapshot() const;

  // A stage, or one download of the download stage, starts: its reporter counts from 0 again.
  void ResetStageValue() { stage_value_ = 0; }

  // The reporters of the three stages.
  // A download's progress: the announced body length (0 when unknown) and the body bytes so far.
  void DownloadProgressed(uint64_t length, uint64_t received);
  void ArchivesUnpacked(uint32_t count);
  void InstallerSignalled(uint32_t signals);

 private:
  mutable std::mutex lock_;
  int32_t percent_ = 0;
  std::wstring status_;
  int32_t stage_value_ = 0;
};
