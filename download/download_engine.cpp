// The engine object: its core, the registry of live requests, and shutdown.
#include "download/download_engine.h"

#include <shlwapi.h>

#include <algorithm>

#include "download/engine_core.h"
#include "download/request_context.h"
#include "win/unique_resource.h"

namespace {

size_t CountRegistered(EngineCore& engine) {
  win::CriticalSectionGuard guard(engine.lock);
  return engine.registry.size();
}

std::shared_ptr<EngineCore> MakeCore(HWND owner_window, bool manual_proxy,
                                     ProxyCredentialsPrompt prompt) {
  auto core = std::make_shared<EngineCore>();
  core->owner_window = owner_window ? owner_window : GetDesktopWindow();
  core->manual_proxy = manual_proxy;
  core->prompt = prompt ? prompt : &ShowProxyCredentialsDialog;
  core->request_removed_event.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  return core;
}

}  // namespace

EngineCore::~EngineCore() {
  if (session) InternetSetStatusCallbackW(session.get(), nullptr);
}

DownloadEngine::DownloadEngine(HWND owner_window, bool manual_proxy, ProxyCredentialsPrompt prompt)
    : core_(MakeCore(owner_window, manual_proxy, prompt)) {}

DownloadEngine::~DownloadEngine() { Shutdown(); }

HWND DownloadEngine::owner_window() const { return core_->owner_window; }

bool ManualProxyConfigured() {
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER,
                    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
                    KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
    return false;
  win::UniqueRegKey key(raw);
  DWORD enabled = 0;
  DWORD size = sizeof(enabled);
  return RegQueryValueExW(key.get(), L"ProxyEnable", nullptr, nullptr,
                          reinterpret_cast<BYTE*>(&enabled), &size) == ERROR_SUCCESS &&
         enabled == 1;
}

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

bool UnregisterRequest(EngineCore& engine, RequestContext* context) {
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

bool ReplaceRequest(EngineCore& engine, RequestContext* current, RequestContext* next) {
  win::CriticalSectionGuard guard(engine.lock);
  if (engine.stopping) return false;
  std::replace(engine.registry.begin(), engine.registry.end(), current, next);
  return true;
}

bool DownloadEngine::Shutdown() {
  EngineCore& engine = *core_;
  {
    win::CriticalSectionGuard guard(engine.lock);
    if (engine.stopping) return engine.registry.empty();
    // From here on a download that has not registered yet fails, and a resume is refused.
    engine.stopping = true;
    // Each request ends at its pending step or its next one.
    for (RequestContext* context : engine.registry) CancelRequest(context);
  }
  size_t count = CountRegistered(engine);
  while (count > 0) {
    if (WaitForSingleObject(engine.request_removed_event.get(), 40000) != WAIT_OBJECT_0) {
      Sleep(1000);
      break;
    }
    count = CountRegistered(engine);
  }
  // The session, the event and the lock go with the core's last reference: with this object,
  // or when a download that outlived the wait leaves.
  return count == 0;
}
