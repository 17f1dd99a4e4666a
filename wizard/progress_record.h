// The build's progress as the progress page shows it: one overall percentage and one status
// line, written by whichever stage is running and read by the window's 100 ms timer.
//
// Every stage reports its own value, starting at 0 and growing; AddStageProgress adds the
// difference to the last value to the overall percentage, so the stages stack up without
// knowing where the others ended. The percentage is never clamped here (the window clamps what
// it shows) and never reset between stages.
//
// The lock guards Percent and StatusText, and is held for one read or one write only.
// StageValue and StageWeight are unguarded: the worker sets them before it starts a stage's
// reporter, and exactly one reporter runs at a time.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

class ProgressRecord {
 public:
  void SetPercent(int32_t value);
  int32_t GetPercent() const;
  // Percent += value - StageValue (read and write lock separately), then StageValue = value.
  void AddStageProgress(int32_t value);

  void SetStatusText(const std::wstring& text);
  std::wstring GetStatusText() const;

  // Starts a stage (or one download of the download stage): its reporter counts from 0 again.
  void BeginStage(float weight);
  void ResetStageValue() { StageValue = 0; }

  // A download progress callback: context is the ProgressRecord, total the expected body
  // length (0 when unknown), done the body bytes received so far; path is not used.
  static void DownloadProgress(void* context, uint32_t total, uint32_t done, const wchar_t* path);
  // The installer monitor's step after the n-th signal of the installer.
  void InstallerSignalled(uint32_t signals);

 private:
  mutable std::mutex ProgressLock;
  int32_t Percent = 0;
  std::wstring StatusText;
  int32_t StageValue = 0;
  float StageWeight = 0.0f;
};

// The stage value a download reports: done * 100 * weight / total in extended precision,
// truncated toward zero; 0 when the length is unknown.
int32_t DownloadStageValue(uint32_t total, uint32_t done, float weight);
