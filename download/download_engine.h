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

#include "download_outcome.h"
#include "download_progress_callback.h"

int InitializeEngine(HWND owner_window);
void SetProxyFlag(int flag);
// Downloads `url` into `output_path` (an empty path: a temporary file, deleted afterwards).
// True when the body arrived complete with a 2xx final status within `time_limit` ms per attempt
// and the request was not cancelled. False, with nothing done, when the engine is not running.
// `outcome`, when given, receives what became of it.
bool DownloadUrlToFile(const wchar_t* url, const wchar_t* output_path, uint32_t time_limit,
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
