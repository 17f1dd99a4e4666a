// What a download engine shares with the downloads running in it (see download_engine.h for why
// it is shared).
#pragma once

#include <memory>
#include <vector>

#include "download/proxy_credentials_prompt.h"
#include "win/critical_section.h"
#include "win/internet_handle.h"

struct RequestContext;

struct EngineCore {
  // Fixed when the engine is made.
  HWND owner_window = nullptr;
  bool manual_proxy = false;
  ProxyCredentialsPrompt prompt = nullptr;

  win::CriticalSection lock;                // guards what follows
  win::UniqueHandle request_removed_event;  // signalled at every removal from the registry
  win::UniqueInternet session;              // made by the first download
  int browser_major_version = -1;           // read when the session is made
  std::vector<RequestContext*> registry;    // live requests, in registration order
  bool stopping = false;                    // shutdown has begun: nothing new registers

  ~EngineCore();
};

// Removes a request from the registry and signals the removal; false when it was not there.
bool UnregisterRequest(EngineCore& engine, RequestContext* context);
// Puts `next` in the place of `current` (a resume); false, with nothing changed, when the engine
// is stopping.
bool ReplaceRequest(EngineCore& engine, RequestContext* current, RequestContext* next);
