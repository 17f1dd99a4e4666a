// The process-wide half of the download engine: start and shutdown, the shared internet
// session, the registry of live requests, and the download sequence.
//
// Each InitializeEngine makes a new engine instance (lock, session, request-removed event,
// registry); a download holds a reference to the instance it started in until it returns. So a
// ShutdownEngine that gives up waiting can drop the instance without pulling the lock or the
// session from under a download still inside: those go when the last such download leaves.
#pragma once

#include <windows.h>

#include <cstdint>

#include "download/download_outcome.h"
#include "download/download_progress_callback.h"

int InitializeEngine(HWND owner_window);
void SetProxyFlag(int flag);
// Downloads `url` into `output_path` (an empty path: a temporary file, deleted afterwards).
// True when the body arrived complete with a 2xx final status, the file holding the announced
// length, and the download was not cancelled. False, with nothing done, when the engine is not
// running. `outcome`, when given, receives what became of it.
//
// An attempt ends when no body byte comes for `stall_limit` ms (from the request on); a body
// that keeps moving is never cut, however slow. When a body breaks off or stalls after part of
// it arrived, and its first answer was a 200 with a Content-Length and a validator (a strong
// ETag, else Last-Modified), the download resumes up to 3 times with "Range: bytes=N-" and
// "If-Range" after a 1 s pause: a 206 for exactly the rest appends, a 200 (the range ignored,
// or the file changed) starts the file over, at most once; any other answer fails.
bool DownloadUrlToFile(const wchar_t* url, const wchar_t* output_path, uint32_t stall_limit,
                       DownloadProgressCallback callback, void* callback_context,
                       DownloadOutcome* outcome = nullptr);
int ReadBrowserMajorVersion();
// Stops the engine: downloads that begin from now on fail, running ones are cancelled and waited
// for (boundedly). True when none was left running.
bool ShutdownEngine();

// Engine-wide values the requests read.
HWND EngineOwnerWindow();
int EngineBrowserMajorVersion();
int EngineProxyFlag();
