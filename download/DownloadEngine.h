// The process-wide half of the download engine: start and shutdown, the shared internet
// session, the registry of live requests, and the download sequence.
//
// Each InitializeEngine makes a new engine instance (lock, session, RequestRemovedEvent,
// registry); a download holds a reference to the instance it started in until it returns. So a
// ShutdownEngine that gives up waiting can drop the instance without pulling the lock or the
// session from under a download still inside: those go when the last such download leaves.
#pragma once

#include "DownloadProgressCallback.h"

#include <windows.h>

#include <cstdint>

struct _REQUEST_CONTEXT;

int InitializeEngine(HWND ownerWindow);
void SetProxyFlag(int flag);
// Downloads `url` into `outputPath` (an empty path: a temporary file, deleted afterwards).
// True when the engine is stopped (nothing is done), or when the body arrived complete with a
// 2xx final status within `timeLimit` ms per attempt and the request was not cancelled.
bool DownloadUrlToFile(const wchar_t* url, const wchar_t* outputPath, uint32_t timeLimit,
                       DownloadProgressCallback callback, void* callbackContext);
int ReadBrowserMajorVersion();
bool UnregisterRequest(_REQUEST_CONTEXT* context);
int CancelAllRequests();
bool ShutdownEngine();

// Engine-wide values the requests read.
HWND EngineOwnerWindow();
int EngineBrowserMajorVersion();
int EngineProxyFlag();
