// How the progress page shows the progress record: the bar never shows more than its maximum
// less one while the build runs (a build that overshoots shows 99, not a finished bar; exactly
// the maximum passes), and a control is only touched when its value really changes, so an
// unchanged tick causes no redraw.
#pragma once

#include <string>

#include "ui/scene.h"

void ShowProgress(ui::ProgressBar& bar, ui::Control& status_label, int percent,
                  const std::wstring& status);
