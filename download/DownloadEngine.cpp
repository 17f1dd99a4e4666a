// Engine start and shutdown, the request registry and cancellation.
#include "DownloadEngine.h"

#include "EngineInstance.h"
#include "RequestContext.h"

#include <shlwapi.h>

#include <algorithm>

namespace {
SRWLOCK currentGuard = SRWLOCK_INIT;       // guards `current` and the running flag
std::shared_ptr<EngineInstance> current;   // null when stopped
int proxyFlag = 0;
HWND ownerWindow = nullptr;
int browserMajorVersion = -1;

size_t CountRegistered(EngineInstance& engine) {
    CsGuard guard(engine.lock);
    return engine.registry.size();
}

std::shared_ptr<EngineInstance> CurrentInstance() {
    AcquireSRWLockShared(&currentGuard);
    auto engine = current;
    ReleaseSRWLockShared(&currentGuard);
    return engine;
}
}  // namespace

EngineInstance::~EngineInstance() {
    if (session) InternetSetStatusCallbackW(session.get(), nullptr);
}

std::shared_ptr<EngineInstance> RunningEngineInstance() { return CurrentInstance(); }

void RefreshBrowserMajorVersion() { browserMajorVersion = ReadBrowserMajorVersion(); }

int InitializeEngine(HWND window) {
    auto engine = std::make_shared<EngineInstance>();
    engine->requestRemovedEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    ownerWindow = window ? window : GetDesktopWindow();
    AcquireSRWLockExclusive(&currentGuard);
    current = std::move(engine);
    ReleaseSRWLockExclusive(&currentGuard);
    return 1;
}

void SetProxyFlag(int flag) { proxyFlag = flag; }
HWND EngineOwnerWindow() { return ownerWindow; }
int EngineBrowserMajorVersion() { return browserMajorVersion; }
int EngineProxyFlag() { return proxyFlag; }

int ReadBrowserMajorVersion() {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer", 0, KEY_READ,
                      &raw) != ERROR_SUCCESS)
        return -1;
    UniqueRegKey key(raw);
    wchar_t version[128] = {};
    DWORD size = 254;  // bytes; one character short of the buffer keeps a terminator
    if (RegQueryValueExW(key.get(), L"Version", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(version), &size) != ERROR_SUCCESS)
        return -1;
    version[1] = 0;  // only the first digit counts
    return StrToIntW(version);
}

bool UnregisterRequestFrom(EngineInstance& engine, _REQUEST_CONTEXT* context) {
    if (!context) return false;
    bool removed = false;
    {
        CsGuard guard(engine.lock);
        auto it = std::find(engine.registry.begin(), engine.registry.end(), context);
        if (it != engine.registry.end()) {
            engine.registry.erase(it);
            removed = true;
        }
    }
    if (removed) SetEvent(engine.requestRemovedEvent.get());
    return removed;
}

bool UnregisterRequest(_REQUEST_CONTEXT* context) {
    auto engine = CurrentInstance();
    return engine && UnregisterRequestFrom(*engine, context);
}

namespace {
void CancelAllIn(EngineInstance& engine) {
    CsGuard guard(engine.lock);
    for (_REQUEST_CONTEXT* context : engine.registry) {
        {
            CsGuard requestGuard(context->lock);
            context->cancelled = 1;
        }
        ShutRequestHandle(context);
        // WinINet may never complete a step pending on a closed handle (Wine): wake the
        // download's own thread so the cancelled download ends now.
        WakeRequestWaiter(context);
    }
}
}  // namespace

int CancelAllRequests() {
    if (auto engine = CurrentInstance()) CancelAllIn(*engine);
    return 1;
}

bool ShutdownEngine() {
    AcquireSRWLockExclusive(&currentGuard);
    auto engine = std::move(current);  // the running flag drops with it: new downloads do nothing
    ReleaseSRWLockExclusive(&currentGuard);
    if (!engine) return true;
    {
        CsGuard guard(engine->lock);
        engine->stopping = true;  // a download between its start and its registration fails
    }
    CancelAllIn(*engine);
    size_t count = CountRegistered(*engine);
    while (count > 0) {
        if (WaitForSingleObject(engine->requestRemovedEvent.get(), 40000) != WAIT_OBJECT_0) {
            Sleep(1000);
            break;
        }
        count = CountRegistered(*engine);
    }
    // The session, the event and the lock go with the last reference: here, or when a download
    // that outlived the wait leaves.
    return count == 0;
}
