// The face of the download engine: start it, download URLs into files, stop it.
#pragma once

#include <windows.h>

#include "download/download_outcome.h"
#include "download/download_progress_callback.h"

class DownloadWrapper {
 public:
  // How long an attempt may go without a body byte before it counts as stalled (and resumes).
  // There is no limit on a whole attempt: a slow download that keeps moving is not cut.
  static constexpr uint32_t kStallLimitMs = 60000;

  // Starts the engine; the window (the desktop when null) is lowered from topmost while the
  // proxy-credentials dialog shows. A user's manual proxy ("ProxyEnable" 1) makes this and
  // every later session of the process skip proxy auto-detection. Always true.
  bool Start(HWND main_window);
  // Downloads `url` into `output_path`; see DownloadUrlToFile for the result and `outcome`.
  bool Download(const wchar_t* url, const wchar_t* output_path, DownloadProgressCallback callback,
                void* callback_context, DownloadOutcome* outcome = nullptr);
  // Stops the engine, cancelling running downloads; true when none was left running.
  bool Stop();
};
