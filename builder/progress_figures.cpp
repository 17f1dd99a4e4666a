#include "builder/progress_figures.h"

#include <cmath>

namespace progress_figures {

void DownloadFigures::Observe(double seconds, uint64_t received, uint64_t expected) {
  if (!started_ || received < received_ || expected != expected_) {
    *this = DownloadFigures();
    started_ = true;
    expected_ = expected;
    received_ = received;
    first_seconds_ = interval_seconds_ = last_byte_seconds_ = seconds;
    interval_bytes_ = received;
    return;
  }
  if (received > received_) last_byte_seconds_ = seconds;
  received_ = received;
  const double elapsed = seconds - interval_seconds_;
  if (elapsed < kIntervalSeconds) return;
  // An exponential average weighted by the interval's length: a long interval counts for more.
  const double rate = static_cast<double>(received - interval_bytes_) / elapsed;
  const double weight = 1 - std::exp(-elapsed / kSmoothingSeconds);
  speed_ = speed_seconds_ == 0 ? rate : speed_ + weight * (rate - speed_);
  speed_seconds_ += elapsed;
  interval_seconds_ = seconds;
  interval_bytes_ = received;
}

double DownloadFigures::Speed() const {
  return started_ && speed_seconds_ >= kMeaningfulSeconds ? speed_ : 0;
}

double DownloadFigures::SecondsLeft() const {
  const double speed = Speed();
  if (speed <= 0 || expected_ == 0) return -1;
  const uint64_t left = received_ < expected_ ? expected_ - received_ : 0;
  return static_cast<double>(left) / speed;
}

bool DownloadFigures::Waiting(double seconds) const {
  return started_ && seconds - last_byte_seconds_ >= kStallSeconds;
}

namespace {

// Tenths of `bytes` / `unit`, rounded half up, as "W.T".
std::wstring Tenths(uint64_t bytes, uint64_t unit, wchar_t mark) {
  const uint64_t tenth = unit / 10;
  const uint64_t tenths = bytes / tenth + (bytes % tenth >= tenth / 2);
  return std::to_wstring(tenths / 10) + mark + std::to_wstring(tenths % 10);
}

}  // namespace

Amount AmountText(uint64_t received, uint64_t expected, wchar_t decimal_mark) {
  const bool megabytes = (expected ? expected : received) >= 1000000;
  const auto figure = [&](uint64_t bytes) {
    return megabytes ? Tenths(bytes, 1000000, decimal_mark)
                     : std::to_wstring(bytes / 1000 + (bytes % 1000 >= 500));
  };
  const wchar_t* unit = megabytes ? L" MB" : L" KB";
  if (!expected) return {figure(received) + unit, {}};
  return {figure(received), figure(expected) + unit};
}

std::wstring SpeedText(double bytes_per_second, wchar_t decimal_mark) {
  if (!(bytes_per_second > 0)) return L"0 KB/s";
  if (bytes_per_second >= 95000)
    return Tenths(static_cast<uint64_t>(std::llround(bytes_per_second)), 1000000, decimal_mark) +
           L" MB/s";
  return std::to_wstring(std::llround(bytes_per_second / 1000)) + L" KB/s";
}

std::wstring DurationText(double seconds) {
  const uint64_t whole = seconds > 0 ? static_cast<uint64_t>(std::ceil(seconds)) : 0;
  if (whole < 60) return std::to_wstring((whole + 4) / 5 * 5) + L" s";
  const uint64_t minutes = (whole + 59) / 60;
  if (minutes < 60) return std::to_wstring(minutes) + L" min";
  const uint64_t rest = minutes % 60;
  return std::to_wstring(minutes / 60) + L" h " + (rest < 10 ? L"0" : L"") + std::to_wstring(rest) +
         L" min";
}

}  // namespace progress_figures
