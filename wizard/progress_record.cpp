#include "progress_record.h"

#include <cmath>
#include <limits>

namespace {

// Values out of int32_t's range (a server that sends more than it announced, a runaway
// installer) saturate instead of overflowing.
int32_t Saturate(long double value) {
  if (!(value < static_cast<long double>(std::numeric_limits<int32_t>::max())))
    return std::numeric_limits<int32_t>::max();
  if (!(value > static_cast<long double>(std::numeric_limits<int32_t>::min())))
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(std::trunc(value));
}

}  // namespace

int32_t DownloadStageValue(uint32_t total, uint32_t done, float weight) {
  if (total == 0) return 0;
  const long double value = static_cast<long double>(done) * 100 * weight / total;
  return Saturate(value);
}

void ProgressRecord::SetPercent(int32_t value) {
  std::lock_guard<std::mutex> guard(ProgressLock);
  Percent = value;
}

int32_t ProgressRecord::GetPercent() const {
  std::lock_guard<std::mutex> guard(ProgressLock);
  return Percent;
}

void ProgressRecord::AddStageProgress(int32_t value) {
  const int64_t percent = GetPercent();
  SetPercent(Saturate(static_cast<long double>(percent + int64_t{value} - StageValue)));
  StageValue = value;
}

void ProgressRecord::SetStatusText(const std::wstring& text) {
  std::lock_guard<std::mutex> guard(ProgressLock);
  StatusText = text;
}

std::wstring ProgressRecord::GetStatusText() const {
  std::lock_guard<std::mutex> guard(ProgressLock);
  return StatusText;
}

void ProgressRecord::BeginStage(float weight) {
  StageWeight = weight;
  StageValue = 0;
}

void ProgressRecord::DownloadProgress(void* context, uint32_t total, uint32_t done,
                                      const wchar_t* /*path*/) {
  auto* record = static_cast<ProgressRecord*>(context);
  record->AddStageProgress(DownloadStageValue(total, done, record->StageWeight));
}

void ProgressRecord::InstallerSignalled(uint32_t signals) {
  AddStageProgress(Saturate(static_cast<long double>(signals) * StageWeight));
}
