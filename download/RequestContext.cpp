// Creating, closing and disposing of a request context.
#include "RequestContext.h"

#include "DownloadEngine.h"

#include <new>

void RetainRequestContext(_REQUEST_CONTEXT* context) { InterlockedIncrement(&context->refCount); }

void ReleaseRequestContext(_REQUEST_CONTEXT* context) {
    if (InterlockedDecrement(&context->refCount) == 0) delete context;
}

DWORD NewRequestContext(HINTERNET session, const RequestSettings& settings,
                        _REQUEST_CONTEXT** context, DownloadProgressCallback callback,
                        void* callbackContext) {
    *context = nullptr;
    auto* ctx = new (std::nothrow) _REQUEST_CONTEXT;
    if (!ctx) return ERROR_NOT_ENOUGH_MEMORY;
    ctx->progressCallback = callback;
    ctx->progressContext = callbackContext;
    ctx->outputPath = settings.outputPath;

    auto fail = [ctx](DWORD error) {
        DisposeRequestContext(ctx);
        return error;
    };
    ctx->buffer.reset(new (std::nothrow) BYTE[kTransferBufferSize]);
    if (!ctx->buffer) return fail(ERROR_NOT_ENOUGH_MEMORY);
    ctx->bufferSize = kTransferBufferSize;

    ctx->CompletionEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!ctx->CompletionEvent) return fail(GetLastError());
    ctx->CleanUpEvent.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!ctx->CleanUpEvent) return fail(GetLastError());

    const DWORD fileError = OpenOutputFile(ctx, settings.outputPath);
    ctx->userName = settings.userName;
    ctx->password = settings.password;
    if (fileError) return fail(fileError);

    if (DWORD error = OpenHttpRequest(ctx, session, settings.hostName.c_str(), settings.port,
                                      settings.objectPath.c_str(), settings.secure))
        return fail(error);
    *context = ctx;
    return 0;
}

DWORD OpenOutputFile(_REQUEST_CONTEXT* context, const wchar_t* outputPath) {
    if (!outputPath || !*outputPath) {
        context->tempFileName.reset(new (std::nothrow) wchar_t[MAX_PATH]);
        if (!context->tempFileName) return ERROR_NOT_ENOUGH_MEMORY;
        wchar_t folder[MAX_PATH];
        const DWORD n = GetTempPathW(MAX_PATH, folder);
        if (n == 0 || n >= MAX_PATH) return GetLastError() ? GetLastError() : ERROR_BUFFER_OVERFLOW;
        if (!GetTempFileNameW(folder, L"TSC", 0, context->tempFileName.get())) {
            const DWORD error = GetLastError();
            context->tempFileName.reset();  // nothing was created, nothing to delete
            return error;
        }
        outputPath = context->tempFileName.get();
    }
    context->outputFile.reset(CreateFileW(outputPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    return context->outputFile ? 0 : GetLastError();
}

DWORD OpenHttpRequest(_REQUEST_CONTEXT* context, HINTERNET session, const wchar_t* hostName,
                      INTERNET_PORT port, const wchar_t* objectPath, bool secure) {
    const auto value = reinterpret_cast<DWORD_PTR>(context);
    context->connectHandle.reset(InternetConnectW(session, hostName, port, nullptr, nullptr,
                                                  INTERNET_SERVICE_HTTP, 0, value));
    if (!context->connectHandle) return GetLastError();
    if (!context->userName.empty())
        InternetSetOptionW(context->connectHandle.get(), INTERNET_OPTION_USERNAME,
                           const_cast<wchar_t*>(context->userName.c_str()),
                           static_cast<DWORD>(context->userName.size() + 1));
    if (!context->password.empty())
        InternetSetOptionW(context->connectHandle.get(), INTERNET_OPTION_PASSWORD,
                           const_cast<wchar_t*>(context->password.c_str()),
                           static_cast<DWORD>(context->password.size() + 1));

    // Cache bypassed; HTTPS checks the certificate fully (its name included).
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
    if (secure) flags |= INTERNET_FLAG_SECURE;
    // WinINet's reference: taken before the handle exists, since notices may come at once.
    RetainRequestContext(context);
    context->requestHandle = HttpOpenRequestW(context->connectHandle.get(), L"GET", objectPath, nullptr,
                                              nullptr, nullptr, flags, value);
    if (!context->requestHandle) {
        const DWORD error = GetLastError();
        ReleaseRequestContext(context);
        return error;
    }
    return 0;
}

bool EnterHandleUse(_REQUEST_CONTEXT* context) {
    CsGuard guard(context->lock);
    if (context->closing) return false;
    ++context->handleUseCount;
    return true;
}

void LeaveHandleUse(_REQUEST_CONTEXT* context) {
    bool closeNow = false;
    {
        CsGuard guard(context->lock);
        --context->handleUseCount;
        if (context->closing && context->handleUseCount == 0 && !context->requestClosed) {
            context->requestClosed = 1;
            context->awaitClosingNotice = 1;
            closeNow = true;
        }
    }
    if (closeNow) InternetCloseHandle(context->requestHandle);
}

void ShutRequestHandle(_REQUEST_CONTEXT* context) {
    bool closeNow = false;
    {
        CsGuard guard(context->lock);
        context->closing = 1;
        if (context->handleUseCount == 0 && !context->requestClosed) {
            context->requestClosed = 1;
            closeNow = true;
        }
    }
    if (!closeNow) return;
    const BOOL closed = InternetCloseHandle(context->requestHandle);
    if (!closed || EngineBrowserMajorVersion() > 6) {
        CsGuard guard(context->lock);
        context->awaitClosingNotice = 1;
    }
}

void DisposeRequestContext(_REQUEST_CONTEXT* context, LONG* cancelled) {
    if (!context) return;
    bool awaitNotice = false;
    if (context->requestHandle) {
        ShutRequestHandle(context);
        CsGuard guard(context->lock);
        // No step starts from now on; one that is running ends at its next (refused) handle
        // call, so this wait lasts at most one chunk's store.
        context->abandoned = true;
        while (context->advancing > 0)
            SleepConditionVariableCS(&context->advancesDone, context->lock.native(), INFINITE);
        // Only a request whose transfer ended on its own gets its closing notice promptly.
        awaitNotice = context->awaitClosingNotice && context->endedOnItsOwn;
    }
    if (awaitNotice) WaitForSingleObject(context->CleanUpEvent.get(), 10000);
    context->connectHandle.reset();
    context->outputFile.reset();
    if (context->tempFileName) DeleteFileW(context->tempFileName.get());
    if (cancelled) {
        CsGuard guard(context->lock);
        *cancelled = context->cancelled;
    }
    ReleaseRequestContext(context);
}
