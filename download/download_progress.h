// What a download tells its caller while it runs.
#pragma once

#include <cstdint>
#include <functional>

struct DownloadProgress {
  // Body bytes so far, the chunk being reported included. Not reset by a proxy retry, and a
  // resume goes on from what is in the file. It never goes back: after a restart from zero,
  // chunks that refill what was already reported are not reported.
  uint64_t received = 0;
  // The whole file's length (a 200's Content-Length); 0 when the server sent none (never divide).
  uint64_t expected = 0;
  // 0 while the body comes; 1 to 3 once the body broke off or stalled and the engine waits to
  // resume it with that try (the pause, then the resumed request until its first byte).
  uint32_t resume_try = 0;
};

// The most resumes of one download: `resume_try` counts up to it.
constexpr uint32_t kMaxResumeTries = 3;

// Called once for each non-empty body chunk (at most 8096 bytes), before the chunk is written,
// with `resume_try` 0; and once as each resume begins, with its try and the counts unchanged. It
// may run on a WinINet thread, and the transfer waits while it runs. It is never called after the
// download call has returned.
using DownloadProgressCallback = std::function<void(const DownloadProgress&)>;
