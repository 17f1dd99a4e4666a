#include "progress_display.h"

void ShowProgress(ui::ProgressBar& bar, ui::Control& status_label, int percent,
                  const std::wstring& status) {
  if (static_cast<double>(percent) > bar.Maximum())
    percent = static_cast<int>(bar.Maximum() - 1);
  if (static_cast<double>(percent) != bar.Value()) bar.SetValue(percent);
  if (status_label.Text() != status) status_label.SetText(status);
}
