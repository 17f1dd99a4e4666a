// The download sequence: one URL into one file through one request, with its retries.
#include "DownloadEngine.h"
#include "EngineInstance.h"
#include "RequestContext.h"

namespace {

// Splits the URL into the request's settings; false for a URL WinINet cannot split.
bool SplitUrl(const wchar_t* url, RequestSettings* settings) {
    wchar_t host[260] = {}, path[1024] = {}, user[260] = {}, password[260] = {};
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = 259;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 1023;
    parts.lpszUserName = user;
    parts.dwUserNameLength = 259;
    parts.lpszPassword = password;
    parts.dwPasswordLength = 259;
    if (!InternetCrackUrlW(url, static_cast<DWORD>(wcslen(url)), ICU_DECODE, &parts)) return false;
    host[parts.dwHostNameLength] = 0;
    path[parts.dwUrlPathLength] = 0;
    user[parts.dwUserNameLength] = 0;
    password[parts.dwPasswordLength] = 0;
    if (!*host) return false;
    settings->hostName = host;
    settings->port = parts.nPort;
    settings->objectPath = *path ? path : L"/";
    settings->secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    settings->userName = user;
    settings->password = password;
    return true;
}

}  // namespace

bool DownloadUrlToFile(const wchar_t* url, const wchar_t* outputPath, uint32_t timeLimit,
                       DownloadProgressCallback callback, void* callbackContext) {
    // Held until this download has left the engine, so a shutdown that stops waiting for it
    // cannot delete the lock or close the session it still uses.
    const std::shared_ptr<EngineInstance> engine = RunningEngineInstance();
    if (!engine) return true;

    RequestSettings settings;
    if (!url || !SplitUrl(url, &settings)) return false;
    settings.outputPath = outputPath;
    settings.proxyFlag = EngineProxyFlag();
    settings.timeLimit = timeLimit;

    {
        CsGuard guard(engine->lock);
        if (!engine->session) {
            RefreshBrowserMajorVersion();
            engine->session.reset(InternetOpenW(L"TScourlet",
                                                settings.proxyFlag
                                                    ? INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY
                                                    : INTERNET_OPEN_TYPE_PRECONFIG,
                                                nullptr, nullptr, INTERNET_FLAG_ASYNC));
            if (!engine->session) return false;
        }
    }
    if (InternetSetStatusCallbackW(engine->session.get(), OnInternetStatus) ==
        INTERNET_INVALID_STATUS_CALLBACK)
        return false;

    _REQUEST_CONTEXT* context = nullptr;
    {
        CsGuard guard(engine->lock);
        if (engine->stopping) return false;
        if (NewRequestContext(engine->session.get(), settings, &context, callback,
                              callbackContext))
            return false;
        engine->registry.push_back(context);
    }

    bool timedOut = false;
    for (;;) {
        context->deadline = GetTickCount64() + settings.timeLimit;
        AdvanceRequest(context, 0);
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now < context->deadline ? DWORD(context->deadline - now) : 0;
        if (!AwaitCompletion(context, left)) {
            timedOut = true;
            break;
        }
        bool retry;
        {
            CsGuard guard(context->lock);
            retry = context->retryRequested && !context->cancelled;
        }
        if (!retry) break;
        RewindForRetry(context);
    }

    DWORD transferError;
    {
        CsGuard guard(context->lock);
        transferError = context->transferError;
    }
    // A transfer that broke off, or an answer that is not a success, leaves its body in the
    // file but does not count as a download.
    const DWORD status = timedOut ? 0 : QueryFinalStatus(context);
    UnregisterRequestFrom(*engine, context);
    LONG cancelled = 0;
    DisposeRequestContext(context, &cancelled);
    return !timedOut && !cancelled && transferError == 0 && status >= 200 && status < 300;
}
