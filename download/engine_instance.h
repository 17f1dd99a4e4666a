// What one start of the engine owns (see download_engine.h for why it is shared).
#pragma once

#include <memory>
#include <vector>

#include "win/critical_section.h"
#include "win/internet_handle.h"

struct RequestContext;

struct EngineInstance {
  win::CriticalSection lock;                // the engine lock: session creation and registry
  win::UniqueHandle request_removed_event;  // signalled at every removal from the registry
  win::UniqueInternet session;              // made by the first download
  std::vector<RequestContext*> registry;    // live requests, in registration order
  bool stopping = false;                    // shutdown has begun: nothing new registers
  ~EngineInstance();
};

// The running instance, or null when the engine is stopped.
std::shared_ptr<EngineInstance> RunningEngineInstance();
// Removes a request from the registry and signals the removal; false when it was not there.
bool UnregisterRequest(EngineInstance& engine, RequestContext* context);
// Puts `next` in the place of `current` (a resume); false, with nothing changed, when the engine
// is stopping.
bool ReplaceRequest(EngineInstance& engine, RequestContext* current, RequestContext* next);
// Read once per session, when the session is made.
void RefreshBrowserMajorVersion();
