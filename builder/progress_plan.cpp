#include "builder/progress_plan.h"

#include <cmath>
#include <limits>

namespace progress_plan {

int32_t SaturatedPoints(long double value) {
  // A server that sends far more than it announced, or a runaway installer, must not overflow.
  if (!(value < static_cast<long double>(std::numeric_limits<int32_t>::max())))
    return std::numeric_limits<int32_t>::max();
  if (!(value > static_cast<long double>(std::numeric_limits<int32_t>::min())))
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(std::trunc(value));
}

int32_t DownloadStageValue(uint64_t length, uint64_t received) {
  if (length == 0) return 0;
  const long double archive_points = static_cast<long double>(Points(Stage::Download)) / kArchives;
  return SaturatedPoints(static_cast<long double>(received) * archive_points / length);
}

int32_t UnpackStageValue(uint32_t unpacked) {
  if (unpacked >= kArchives) return Points(Stage::Unpack);
  const int64_t shared = int64_t{Points(Stage::Unpack)} * unpacked;
  return static_cast<int32_t>((shared + kArchives - 1) / kArchives);
}

int32_t InstallStageValue(uint32_t signals) {
  const long double per_signal =
      static_cast<long double>(Points(Stage::Install)) / kInstallerSignals;
  return SaturatedPoints(static_cast<long double>(signals) * per_signal);
}

int32_t ShownPercent(int32_t percent) {
  if (percent > kWhole) return kWhole - 1;
  return percent < 0 ? 0 : percent;
}

}  // namespace progress_plan
