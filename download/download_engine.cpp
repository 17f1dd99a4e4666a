// Engine start and shutdown, the request registry and cancellation.
#include "download/download_engine.h"

#include <shlwapi.h>

#include <algorithm>

#include "download/engine_instance.h"
#include "download/request_context.h"

namespace {

SRWLOCK current_guard = SRWLOCK_INIT;     // guards `current` and the running flag
std::shared_ptr<EngineInstance> current;  // null when stopped
int proxy_flag = 0;
HWND owner_window = nullptr;
int browser_major_version = -1;

size_t CountRegistered(EngineInstance& engine) {
  win::CriticalSectionGuard guard(engine.lock);
  return engine.registry.size();
}

// Cancels every registered request: each ends at its pending step or its next one.
void CancelRegisteredRequests(EngineInstance& engine) {
  win::CriticalSectionGuard guard(engine.lock);
  for (RequestContext* context : engine.registry) {
    {
      win::CriticalSectionGuard request_guard(context->lock);
      context->cancelled = 1;
    }
    ShutRequestHandle(context);
    // WinINet may never complete a step pending on a closed handle (Wine): wake the
    // download's own thread so the cancelled download ends now.
    WakeRequestWaiter(context);
  }
}

}  // namespace

EngineInstance::~EngineInstance() {
  if (session) InternetSetStatusCallbackW(session.get(), nullptr);
}

std::shared_ptr<EngineInstance> RunningEngineInstance() {
  AcquireSRWLockShared(&current_guard);
  auto engine = current;
  ReleaseSRWLockShared(&current_guard);
  return engine;
}

void RefreshBrowserMajorVersion() { browser_major_version = ReadBrowserMajorVersion(); }

int InitializeEngine(HWND window) {
  auto engine = std::make_shared<EngineInstance>();
  engine->request_removed_event.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  owner_window = window ? window : GetDesktopWindow();
  AcquireSRWLockExclusive(&current_guard);
  current = std::move(engine);
  ReleaseSRWLockExclusive(&current_guard);
  return 1;
}

void SetProxyFlag(int flag) { proxy_flag = flag; }
HWND EngineOwnerWindow() { return owner_window; }
int EngineBrowserMajorVersion() { return browser_major_version; }
int EngineProxyFlag() { return proxy_flag; }

int ReadBrowserMajorVersion() {
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer", 0, KEY_READ,
                    &raw) != ERROR_SUCCESS)
    return -1;
  win::UniqueRegKey key(raw);
  wchar_t version[128] = {};
  DWORD size = 254;  // bytes; one character short of the buffer keeps a terminator
  if (RegQueryValueExW(key.get(), L"Version", nullptr, nullptr, reinterpret_cast<BYTE*>(version),
                       &size) != ERROR_SUCCESS)
    return -1;
  version[1] = 0;  // only the first digit counts
  return StrToIntW(version);
}

bool UnregisterRequest(EngineInstance& engine, RequestContext* context) {
  if (!context) return false;
  bool removed = false;
  {
    win::CriticalSectionGuard guard(engine.lock);
    auto it = std::find(engine.registry.begin(), engine.registry.end(), context);
    if (it != engine.registry.end()) {
      engine.registry.erase(it);
      removed = true;
    }
  }
  if (removed) SetEvent(engine.request_removed_event.get());
  return removed;
}

bool ReplaceRequest(EngineInstance& engine, RequestContext* current, RequestContext* next) {
  win::CriticalSectionGuard guard(engine.lock);
  if (engine.stopping) return false;
  std::replace(engine.registry.begin(), engine.registry.end(), current, next);
  return true;
}

bool ShutdownEngine() {
  AcquireSRWLockExclusive(&current_guard);
  auto engine = std::move(current);  // the running flag drops with it: new downloads do nothing
  ReleaseSRWLockExclusive(&current_guard);
  if (!engine) return true;
  {
    win::CriticalSectionGuard guard(engine->lock);
    engine->stopping = true;  // a download between its start and its registration fails
  }
  CancelRegisteredRequests(*engine);
  size_t count = CountRegistered(*engine);
  while (count > 0) {
    if (WaitForSingleObject(engine->request_removed_event.get(), 40000) != WAIT_OBJECT_0) {
      Sleep(1000);
      break;
    }
    count = CountRegistered(*engine);
  }
  // The session, the event and the lock go with the last reference: here, or when a download
  // that outlived the wait leaves.
  return count == 0;
}
