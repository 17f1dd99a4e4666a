// What one start of the engine owns (see DownloadEngine.h for why it is shared).
#pragma once

#include "WinHandles.h"

#include <memory>
#include <vector>

struct _REQUEST_CONTEXT;

struct EngineInstance {
    CriticalSection lock;                  // the engine lock: session creation and registry
    UniqueHandle requestRemovedEvent;      // signalled at every removal from the registry
    UniqueInternet session;                // made by the first download
    std::vector<_REQUEST_CONTEXT*> registry;  // live requests, in registration order
    bool stopping = false;                 // shutdown has begun: nothing new registers
    ~EngineInstance();
};

// The running instance, or null when the engine is stopped.
std::shared_ptr<EngineInstance> RunningEngineInstance();
bool UnregisterRequestFrom(EngineInstance& engine, _REQUEST_CONTEXT* context);
// Read once per session, when the session is made.
void RefreshBrowserMajorVersion();
