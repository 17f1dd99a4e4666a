// The figures the progress page shows beside its bar while a file downloads: how much has come
// of how much ("45.2 of 320.8 MB"), the speed and the time left, and whether the download is
// waiting for the server. The page reads the progress record every 100 ms; DownloadFigures
// turns those readings into a speed smoothed over seconds, so a burst or a pause of one tick
// does not make the figures jump, and says when there is enough behind a figure to show it.
//
// Portable: the caller supplies the time (seconds on any steady clock) and the decimal mark.
#pragma once

#include <cstdint>
#include <string>

namespace progress_figures {

// Readings closer together than this are folded into the next interval.
constexpr double kIntervalSeconds = 1.0;
// How fast the smoothed speed follows a change: about 63 % of a step change after this long.
constexpr double kSmoothingSeconds = 4.0;
// The speed (and the time left) shows once a download has run this long.
constexpr double kMeaningfulSeconds = 3.0;
// No byte for this long: the page says it waits for the server.
constexpr double kStallSeconds = 5.0;

class DownloadFigures {
 public:
  // One reading of the current download: the bytes received so far and the whole length (0 when
  // unknown). Fewer bytes than before, or another length, is another download: it starts over.
  void Observe(double seconds, uint64_t received, uint64_t expected);

  // The smoothed speed in bytes a second; 0 until it is meaningful.
  double Speed() const;
  // Seconds left at the smoothed speed; negative when unknown (no speed yet, no length, or
  // nothing arriving).
  double SecondsLeft() const;
  // No byte has come for kStallSeconds or more (a download that has not started counts from its
  // first reading).
  bool Waiting(double seconds) const;

 private:
  bool started_ = false;
  uint64_t expected_ = 0;
  uint64_t received_ = 0;
  double first_seconds_ = 0;      // the download's first reading
  double interval_seconds_ = 0;   // where the current interval began
  uint64_t interval_bytes_ = 0;   // and the bytes at that moment
  double last_byte_seconds_ = 0;  // the last reading that brought bytes
  double speed_ = 0;              // smoothed; meaningful once speed_seconds_ is reached
  double speed_seconds_ = 0;      // time the smoothed speed covers so far
};

// A download's amount in one unit, chosen by its whole length (by what came, when the length is
// unknown): megabytes (10^6) with one decimal from 1 MB up, else whole kilobytes (10^3), rounded
// half up. `done` is the bare figure and `total` carries the unit ("45.2", "320.8 MB"); with no
// length, `done` carries the unit and `total` is empty.
struct Amount {
  std::wstring done, total;
};
Amount AmountText(uint64_t received, uint64_t expected, wchar_t decimal_mark);
// "1.2 MB/s" from 0.1 MB/s up, else whole kilobytes (10^3): "85 KB/s".
std::wstring SpeedText(double bytes_per_second, wchar_t decimal_mark);
// A time left, rounded up so it does not flicker with each reading: below a minute in steps of
// 5 seconds ("45 s"), below an hour in minutes ("4 min"), then hours and minutes ("1 h 05 min").
std::wstring DurationText(double seconds);

}  // namespace progress_figures
