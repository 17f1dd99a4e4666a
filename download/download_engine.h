// The HTTP download engine: downloads URLs into files over asynchronous WinINet. The build makes
// one for its downloads and shuts it down when they are over, or from another thread to cancel.
//
// The object owns an engine core (lock, session, registry of live requests) that each running
// download holds a reference to until it returns. So a Shutdown that gives up waiting, or the
// engine's destruction, never pulls the lock or the session from under a download still inside:
// those go when the last such download leaves.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "download/download_outcome.h"
#include "download/download_progress.h"
#include "download/proxy_credentials_prompt.h"

struct EngineCore;

// What bounds one download.
struct DownloadLimits {
  // The most body bytes the file may hold. A 200 announcing more fails before its body is read;
  // a body without a length is cut off at it. The caller passes the expected size when it knows
  // it. (An announced body larger than the free space on the file's volume also fails unread.)
  uint64_t max_length;
  // How long an attempt may go without a body byte before it counts as stalled (and resumes).
  // There is no limit on a whole attempt: a slow download that keeps moving is not cut.
  uint32_t stall_limit_ms;
};

class DownloadEngine {
 public:
  // The ceiling for a download whose size the caller does not know: far above any rescue
  // system, far below what would fill a volume unnoticed.
  static constexpr uint64_t kMaxLength = uint64_t{4} << 30;  // 4 GiB
  static constexpr uint32_t kStallLimitMs = 60000;
  static constexpr DownloadLimits kDefaultLimits = {kMaxLength, kStallLimitMs};

  // `owner_window` (the desktop when null) is lowered from topmost while the proxy-credentials
  // prompt shows. `manual_proxy` (ManualProxyConfigured()) makes sessions skip proxy
  // auto-detection. `prompt` asks for proxy credentials; tests give one of their own.
  DownloadEngine(HWND owner_window, bool manual_proxy,
                 ProxyCredentialsPrompt prompt = &ShowProxyCredentialsDialog);
  // Shuts the engine down.
  ~DownloadEngine();
  DownloadEngine(const DownloadEngine&) = delete;
  DownloadEngine& operator=(const DownloadEngine&) = delete;

  // Downloads `url` into `output_path` (an empty path: a temporary file, deleted afterwards).
  // May be called from several threads at once. True when the body arrived complete with a 2xx
  // final status, the file holding the announced length, and the download was not cancelled.
  // False, with nothing done, once the engine is shut down. `outcome`, when given, receives what
  // became of it.
  //
  // An attempt ends when no body byte comes for the stall limit (from the request on). When a
  // body breaks off or stalls after part of it arrived, and its first answer was a 200 with a
  // Content-Length and a validator (a strong ETag, else Last-Modified), the download resumes up
  // to 3 times with "Range: bytes=N-" and "If-Range" after a 1 s pause: a 206 for exactly the
  // rest appends, a 200 (the range ignored, or the file changed) starts the file over, at most
  // once; any other answer fails.
  bool Download(const wchar_t* url, const wchar_t* output_path,
                const DownloadProgressCallback& progress, DownloadOutcome* outcome = nullptr,
                const DownloadLimits& limits = kDefaultLimits);

  // From any thread: downloads that begin from now on fail, running ones are cancelled and
  // waited for (boundedly). True when none was left running. Only the first call waits.
  bool Shutdown();

  HWND owner_window() const;

 private:
  const std::shared_ptr<EngineCore> core_;
};

// The user's Internet Settings name a proxy by hand ("ProxyEnable" is the 4-byte number 1).
bool ManualProxyConfigured();
// The first digit of the installed browser's version; -1 when the registry gives none.
int ReadBrowserMajorVersion();
