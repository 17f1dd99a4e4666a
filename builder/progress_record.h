// The build's progress as the progress page shows it: one overall percentage, one status line,
// the stage running and, while a file downloads, its figures; written by whichever stage is
// running and read, as one snapshot, by the window's 100 ms timer.
//
// Every stage reports its own stage value (progress_plan.h says how each stage computes it);
// AddStageProgress adds the difference to the last value to the overall percentage, so the
// stages stack up without knowing where the others ended. The percentage is never reset between
// stages and never capped here: the view applies the plan's ShownPercent when it draws the bar.
//
// The lock guards the percentage, the status text, the stage and the download's figures, and is
// held for one read or one write only. The stage value is unguarded: the worker resets it before
// it starts a stage's reporter (a download, the installer monitor), and exactly one reporter runs
// at a time.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "builder/progress_plan.h"

// What the progress page shows at one moment.
struct ProgressSnapshot {
  int32_t percent = 0;
  std::wstring status;
  int32_t step = 0;  // 1 to the plan's stage count: the stage running; 0 before the first
  // The file downloading: body bytes so far and its whole length (0 when unknown), and the
  // latest resume the download engine announced for it (0: none).
  uint64_t received = 0, expected = 0;
  uint32_t resume_try = 0;
  // A resume was announced and no byte has come since: the engine waits for the server.
  bool resuming = false;
};

class ProgressRecord {
 public:
  void SetPercent(int32_t value);
  // Percent += value - stage value (read and write lock separately), then stage value = value.
  void AddStageProgress(int32_t value);
  void SetStatusText(const std::wstring& text);
  // A stage starts: the snapshot's step becomes its place in the plan.
  void SetStage(progress_plan::Stage stage);
  // A download starts: its figures count from nothing.
  void DownloadStarted();
  // Both values under one taking of the lock.
  ProgressSnapshot Snapshot() const;

  // A stage, or one download of the download stage, starts: its reporter counts from 0 again.
  void ResetStageValue() { stage_value_ = 0; }

  // The reporters of the three stages.
  // A download's progress: the announced body length (0 when unknown), the body bytes so far and,
  // when the engine announces a resume, its try (else 0).
  void DownloadProgressed(uint64_t length, uint64_t received, uint32_t resume_try = 0);
  void ArchivesUnpacked(uint32_t count);
  void InstallerSignalled(uint32_t signals);

 private:
  mutable std::mutex lock_;
  int32_t percent_ = 0;
  std::wstring status_;
  int32_t step_ = 0;
  uint64_t received_ = 0, expected_ = 0;
  uint32_t resume_try_ = 0;
  bool resuming_ = false;
  int32_t stage_value_ = 0;
};
