// One asynchronous HTTP GET over WinINet, from opening its handles to releasing its context.
//
// Ownership: a _REQUEST_CONTEXT is reference counted. The download sequence holds one reference
// from NewRequestContext to DisposeRequestContext; WinINet holds one for the request handle,
// released by that handle's closing notice, which is the last notice the handle ever sends.
// Wine sends no completion and no closing notice for a handle closed while a send is pending, so
// that reference may never be released: the context then stays valid until the process ends,
// which is what makes a late (or missing) notice harmless without any waiting.
//
// Steps: AdvanceRequest issues send / receive / store in a loop until a step pends; the status
// callback re-enters it when the pending step completes. Receiving asks how much of the body is
// ready and reads at most that much, which the library completes at once, so no read is left
// pending with a chunk size still to report: Wine writes 0 into a pending call's count after
// queueing the call, which can overwrite the size its completion already stored. For the same
// reason a completion first waits until the call that pended has returned to its issuer.
//
// Disposal shuts the request handle, marks the context abandoned and waits only for an
// AdvanceRequest that is running (its next handle call is refused, so that is at most one
// chunk's store): once the download call has returned, no step, progress call or file write
// happens for it again. It waits (at most 10 s) for the closing notice only after a transfer
// that ended on its own. A request cut off by its time limit or a cancel does not wait: its
// notice may come late (Wine first reads the rest of the body off the connection) or never, and
// the WinINet reference covers it either way.
#pragma once

#include "DownloadProgressCallback.h"
#include "WinHandles.h"

#include <memory>
#include <string>

struct RequestSettings {
    std::wstring hostName;
    INTERNET_PORT port = 0;
    std::wstring objectPath;
    const wchar_t* outputPath = nullptr;  // the caller's string; null or empty: a temporary file
    int proxyFlag = 0;
    bool secure = false;
    DWORD timeLimit = 0;
    std::wstring userName;
    std::wstring password;
};

// The connection handle carries the context value too; its callback is removed before it is
// closed, so no closing notice for it can reach a context that is gone.
struct ConnectionHandleTraits {
    using Type = HINTERNET;
    static Type empty() { return nullptr; }
    static void close(Type h) {
        InternetSetStatusCallbackW(h, nullptr);
        InternetCloseHandle(h);
    }
};
using UniqueConnection = UniqueResource<ConnectionHandleTraits>;

enum class TransferState { Send, Receive, Store, Finished };

constexpr DWORD kTransferBufferSize = 8096;

struct _REQUEST_CONTEXT {
    std::unique_ptr<wchar_t[]> tempFileName;  // set only when the output path was empty
    std::wstring userName;                    // empty: none
    std::wstring password;
    LONG retryRequested = 0;
    LONG cancelled = 0;
    LONG requestClosed = 0;
    HINTERNET requestHandle = nullptr;  // closed once, by ShutRequestHandle or LeaveHandleUse
    LONG awaitClosingNotice = 0;
    UniqueConnection connectHandle;
    UniqueHandle CompletionEvent;
    UniqueHandle CleanUpEvent;
    std::unique_ptr<BYTE[]> buffer;
    DWORD bufferSize = 0;
    DWORD bytesRead = 0;
    DWORD bytesAvailable = 0;  // the last answer of InternetQueryDataAvailable
    DWORD contentLength = 0;
    DWORD bytesReceived = 0;
    DWORD attemptBytes = 0;  // the part of bytesReceived that the current attempt stored
    UniqueFile outputFile;
    TransferState state = TransferState::Send;
    CriticalSection lock{4000};
    CriticalSection issueLock{4000};  // held by a thread for as long as its library call runs
    LONG handleUseCount = 0;
    LONG closing = 0;
    DownloadProgressCallback progressCallback = nullptr;
    void* progressContext = nullptr;
    const wchar_t* outputPath = nullptr;

    // Ownership and the end of the transfer (all but refCount under `lock`).
    LONG refCount = 1;          // Interlocked
    LONG advancing = 0;         // AdvanceRequest calls running now
    bool abandoned = false;     // disposed: no step may start any more
    CONDITION_VARIABLE advancesDone = CONDITION_VARIABLE_INIT;
    bool endedOnItsOwn = false; // the attempt's transfer ended without being cut off
    bool promptedThisAttempt = false;  // the 407 prompt was shown for this attempt
    DWORD transferError = 0;    // the error that ended the last attempt (0: body complete)
    ULONGLONG deadline = 0;     // GetTickCount64 value at which the attempt's time limit ends
};

DWORD NewRequestContext(HINTERNET session, const RequestSettings& settings,
                        _REQUEST_CONTEXT** context, DownloadProgressCallback callback,
                        void* callbackContext);
DWORD OpenOutputFile(_REQUEST_CONTEXT* context, const wchar_t* outputPath);
DWORD OpenHttpRequest(_REQUEST_CONTEXT* context, HINTERNET session, const wchar_t* hostName,
                      INTERNET_PORT port, const wchar_t* objectPath, bool secure);
void AdvanceRequest(_REQUEST_CONTEXT* context, DWORD error);
DWORD StepSend(_REQUEST_CONTEXT* context);
DWORD StepReceive(_REQUEST_CONTEXT* context);
DWORD StepStore(_REQUEST_CONTEXT* context, bool* endOfBody);
void CALLBACK OnInternetStatus(HINTERNET handle, DWORD_PTR contextValue, DWORD status,
                               LPVOID statusInformation, DWORD statusInformationLength);
bool AwaitCompletion(_REQUEST_CONTEXT* context, DWORD timeLimit);
void RewindForRetry(_REQUEST_CONTEXT* context);
bool EnterHandleUse(_REQUEST_CONTEXT* context);
void LeaveHandleUse(_REQUEST_CONTEXT* context);
void ShutRequestHandle(_REQUEST_CONTEXT* context);
void DisposeRequestContext(_REQUEST_CONTEXT* context, LONG* cancelled = nullptr);

// Reference counting (see the top of this file); the last release frees the context.
void RetainRequestContext(_REQUEST_CONTEXT* context);
void ReleaseRequestContext(_REQUEST_CONTEXT* context);
// Wakes the thread waiting for the transfer: a cancelled request ends on its own side, since
// WinINet may never complete the step that was pending when its handle was closed.
void WakeRequestWaiter(_REQUEST_CONTEXT* context);
// The final HTTP status of the last attempt; 0 when it cannot be read.
DWORD QueryFinalStatus(_REQUEST_CONTEXT* context);
