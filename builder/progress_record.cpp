#include "builder/progress_record.h"

#include "builder/progress_plan.h"

void ProgressRecord::SetPercent(int32_t value) {
  std::lock_guard<std::mutex> guard(lock_);
  percent_ = value;
}

void ProgressRecord::AddStageProgress(int32_t value) {
  int64_t percent;
  {
    std::lock_guard<std::mutex> guard(lock_);
    percent = percent_;
  }
  SetPercent(progress_plan::SaturatedPoints(
      static_cast<long double>(percent + int64_t{value} - stage_value_)));
  stage_value_ = value;
}

void ProgressRecord::SetStatusText(const std::wstring& text) {
  std::lock_guard<std::mutex> guard(lock_);
  status_ = text;
}

void ProgressRecord::SetStage(progress_plan::Stage stage) {
  std::lock_guard<std::mutex> guard(lock_);
  step_ = progress_plan::StepOf(stage);
}

void ProgressRecord::DownloadStarted() {
  std::lock_guard<std::mutex> guard(lock_);
  received_ = expected_ = 0;
  resume_try_ = 0;
  resuming_ = false;
}

ProgressSnapshot ProgressRecord::Snapshot() const {
  std::lock_guard<std::mutex> guard(lock_);
  return {percent_, status_, step_, received_, expected_, resume_try_, resuming_};
}

void ProgressRecord::DownloadProgressed(uint64_t length, uint64_t received, uint32_t resume_try) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    received_ = received;
    expected_ = length;
    // A resume is announced with the counts unchanged; the next chunk ends the wait.
    if (resume_try) resume_try_ = resume_try;
    resuming_ = resume_try != 0;
  }
  AddStageProgress(progress_plan::DownloadStageValue(length, received));
}

void ProgressRecord::ArchivesUnpacked(uint32_t count) {
  AddStageProgress(progress_plan::UnpackStageValue(count));
}

void ProgressRecord::InstallerSignalled(uint32_t signals) {
  AddStageProgress(progress_plan::InstallStageValue(signals));
}
