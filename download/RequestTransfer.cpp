// Driving one request: the step machine, the status callback, waiting and the proxy retry.
#include "DownloadEngine.h"
#include "ProxyCredentialsPrompt.h"
#include "RequestContext.h"

namespace {

// Issues one call on the request handle unless the handle is closing. Once the call has
// pended, its completion may already be running on a WinINet thread: nothing here touches the
// transfer after the call.
template <typename Call>
DWORD IssueHandleCall(_REQUEST_CONTEXT* context, Call call) {
    if (!EnterHandleUse(context)) return ERROR_OPERATION_ABORTED;
    DWORD error;
    {
        CsGuard issuing(context->issueLock);
        error = call() ? 0 : GetLastError();
    }
    LeaveHandleUse(context);
    return error;
}

DWORD QueryNumber(HINTERNET request, DWORD what, DWORD* value) {
    DWORD size = sizeof(*value);
    return HttpQueryInfoW(request, what | HTTP_QUERY_FLAG_NUMBER, value, &size, nullptr) ? 0 : 1;
}

// Read at every completion: the body length for the progress calls, and a proxy's 407, which
// asks for credentials once per attempt (a 407 body whose read pends must not ask again).
void ReadResponseFacts(_REQUEST_CONTEXT* context) {
    if (!EnterHandleUse(context)) {
        context->contentLength = 0;
        return;
    }
    if (QueryNumber(context->requestHandle, HTTP_QUERY_CONTENT_LENGTH, &context->contentLength))
        context->contentLength = 0;
    DWORD status = 0;
    const bool askForCredentials =
        !QueryNumber(context->requestHandle, HTTP_QUERY_STATUS_CODE, &status) &&
        status == HTTP_STATUS_PROXY_AUTH_REQ && !context->promptedThisAttempt;
    if (askForCredentials) {
        context->promptedThisAttempt = true;
        // The wizard's window is topmost; let the dialog come above it, then restore.
        const HWND owner = EngineOwnerWindow();
        SetWindowPos(owner, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        const DWORD answer = PromptForProxyCredentials(context->requestHandle);
        SetWindowPos(owner, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        CsGuard guard(context->lock);
        context->retryRequested = answer == ERROR_INTERNET_FORCE_RETRY;
    }
    LeaveHandleUse(context);
}

}  // namespace

DWORD StepSend(_REQUEST_CONTEXT* context) {
    return IssueHandleCall(context, [context] {
        return HttpSendRequestW(context->requestHandle, nullptr, 0, nullptr, 0);
    });
}

// Asks how much of the body is ready; when the question pends, `state` stays Receive and the
// completion asks again. An answer of 0 given at once is the end of the body. Otherwise reads
// at most the ready amount (and at most one buffer), which completes at once.
DWORD StepReceive(_REQUEST_CONTEXT* context) {
    if (DWORD error = IssueHandleCall(context, [context] {
            return InternetQueryDataAvailable(context->requestHandle, &context->bytesAvailable, 0,
                                              0);
        }))
        return error;
    context->state = TransferState::Store;
    if (context->bytesAvailable == 0) {
        context->bytesRead = 0;
        return 0;
    }
    const DWORD size = context->bytesAvailable < context->bufferSize ? context->bytesAvailable
                                                                     : context->bufferSize;
    return IssueHandleCall(context, [context, size] {
        return InternetReadFile(context->requestHandle, context->buffer.get(), size,
                                &context->bytesRead);
    });
}

DWORD StepStore(_REQUEST_CONTEXT* context, bool* endOfBody) {
    *endOfBody = false;
    if (context->bytesRead == 0) {
        *endOfBody = true;
        // Wine ends a body whose connection closed early as if it were complete.
        const bool shortOfItsLength =
            context->contentLength != 0 && context->attemptBytes != context->contentLength;
        return shortOfItsLength ? ERROR_INTERNET_CONNECTION_ABORTED : 0;
    }
    context->bytesReceived += context->bytesRead;
    context->attemptBytes += context->bytesRead;
    if (context->progressCallback)
        context->progressCallback(context->progressContext, context->contentLength,
                                  context->bytesReceived, context->outputPath);
    DWORD written = 0;
    if (!WriteFile(context->outputFile.get(), context->buffer.get(), context->bytesRead, &written,
                   nullptr))
        return GetLastError();
    return 0;
}

void AdvanceRequest(_REQUEST_CONTEXT* context, DWORD error) {
    {
        CsGuard guard(context->lock);
        if (context->abandoned) return;  // a late completion after disposal: nothing to do
        ++context->advancing;
    }
    // `error` is tested first: after a step has pended, `state` belongs to the thread that
    // will complete it.
    while (error == 0 && context->state != TransferState::Finished) {
        // A body that keeps arriving at once is stored in this loop, possibly on the thread
        // that waits for the time limit; so the loop keeps the limit itself.
        if (GetTickCount64() >= context->deadline) {
            error = ERROR_INTERNET_TIMEOUT;
            break;
        }
        switch (context->state) {
        case TransferState::Send:
            context->state = TransferState::Receive;
            error = StepSend(context);
            break;
        case TransferState::Receive:
            error = StepReceive(context);
            break;
        case TransferState::Store: {
            context->state = TransferState::Receive;
            bool endOfBody = false;
            error = StepStore(context, &endOfBody);
            if (endOfBody) context->state = TransferState::Finished;
            break;
        }
        case TransferState::Finished:
            break;
        }
    }
    CsGuard guard(context->lock);
    if (error != ERROR_IO_PENDING) {
        context->transferError = error;
        // Refused because the handle is closing, or cut off by the time limit: the body was
        // left unread.
        context->endedOnItsOwn =
            error != ERROR_OPERATION_ABORTED && error != ERROR_INTERNET_TIMEOUT;
        SetEvent(context->CompletionEvent.get());
    }
    if (--context->advancing == 0) WakeAllConditionVariable(&context->advancesDone);
}

void CALLBACK OnInternetStatus(HINTERNET handle, DWORD_PTR contextValue, DWORD status,
                               LPVOID statusInformation, DWORD) {
    auto* context = reinterpret_cast<_REQUEST_CONTEXT*>(contextValue);
    if (!context) return;
    switch (status) {
    case INTERNET_STATUS_HANDLE_CLOSING:
        if (handle != context->requestHandle) return;
        SetEvent(context->CleanUpEvent.get());
        // The request handle's last notice: WinINet's reference ends here.
        ReleaseRequestContext(context);
        return;
    case INTERNET_STATUS_REQUEST_COMPLETE: {
        const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(statusInformation);
        // The call that pended may not have returned to its issuer yet, and may still write.
        { CsGuard issued(context->issueLock); }
        ReadResponseFacts(context);
        // dwError counts only for a failed call: a completed query reports its byte count there.
        AdvanceRequest(context, result->dwResult ? 0
                                : result->dwError ? result->dwError
                                                  : ERROR_INTERNET_INTERNAL_ERROR);
        return;
    }
    default:
        return;
    }
}

bool AwaitCompletion(_REQUEST_CONTEXT* context, DWORD timeLimit) {
    return WaitForSingleObject(context->CompletionEvent.get(), timeLimit) == WAIT_OBJECT_0;
}

void RewindForRetry(_REQUEST_CONTEXT* context) {
    CsGuard guard(context->lock);
    context->retryRequested = 0;
    context->promptedThisAttempt = false;
    context->transferError = 0;
    context->endedOnItsOwn = false;
    context->bytesRead = 0;
    context->attemptBytes = 0;
    SetFilePointer(context->outputFile.get(), 0, nullptr, FILE_BEGIN);
    SetEndOfFile(context->outputFile.get());
    ResetEvent(context->CleanUpEvent.get());
    ResetEvent(context->CompletionEvent.get());
    context->state = TransferState::Send;
}

void WakeRequestWaiter(_REQUEST_CONTEXT* context) { SetEvent(context->CompletionEvent.get()); }

DWORD QueryFinalStatus(_REQUEST_CONTEXT* context) {
    DWORD status = 0;
    if (!EnterHandleUse(context)) return 0;
    if (QueryNumber(context->requestHandle, HTTP_QUERY_STATUS_CODE, &status)) status = 0;
    LeaveHandleUse(context);
    return status;
}
