// One asynchronous HTTP GET over WinINet, from opening its handles to releasing its context.
// The context carries everything a status notice needs (copies of the engine's settings
// included), so a notice never reaches for the engine.
//
// Ownership: a RequestContext is reference counted. The download sequence holds one reference
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
// Abandoning shuts the request handle, marks the context abandoned and waits only for an
// AdvanceRequest that is running (its next handle call is refused, so that is at most one
// chunk's store): from then on no step, progress call or file write happens for it again, so a
// resumed request can take over the file, and nothing happens after the download call returns.
// Disposal abandons, then lets the context go. It waits (at most 10 s) for the closing notice
// only after a transfer that ended on its own. A request cut off by its stall limit, an answer it
// would not take, or a cancel does not wait: its notice may come late (Wine first reads the rest
// of the body off the connection) or never, and the WinINet reference covers it either way.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "download/download_outcome.h"
#include "download/download_progress.h"
#include "download/proxy_credentials_prompt.h"
#include "win/critical_section.h"
#include "win/internet_handle.h"

// What a request is made from: the URL's parts, the download's bounds and the engine's settings.
struct RequestSettings {
  std::wstring host_name;
  INTERNET_PORT port = 0;
  std::wstring object_path;
  bool secure = false;
  std::wstring user_name;  // empty: none
  std::wstring password;
  DWORD stall_limit = 0;       // ms without a body byte that end an attempt
  uint64_t max_length = 0;     // the most body bytes the file may hold
  std::wstring output_volume;  // the root of the output file's volume; empty: not checked
  HWND owner_window = nullptr;
  int browser_major_version = -1;
  ProxyCredentialsPrompt prompt = nullptr;
  const DownloadProgressCallback* progress = nullptr;  // the caller's; null or empty: none
};

// The connection handle carries the context value too; its callback is removed before it is
// closed, so no closing notice for it can reach a context that is gone.
struct ConnectionHandleTraits {
  using Type = HINTERNET;
  static Type Empty() { return nullptr; }
  static void Close(Type h) {
    InternetSetStatusCallbackW(h, nullptr);
    InternetCloseHandle(h);
  }
};
using UniqueConnection = win::UniqueResource<ConnectionHandleTraits>;

enum class TransferState { Send, Receive, Store, Finished };

constexpr DWORD kTransferBufferSize = 8096;

// Where a request starts: at the beginning, or resuming a file that already holds bytes.
struct ResumePoint {
  uint64_t offset = 0;        // bytes in the file; above 0, the request asks for the rest
  std::wstring validator;     // the first answer's strong ETag, else its Last-Modified
  uint64_t whole_length = 0;  // the file's announced length
  bool may_restart = true;    // a whole body (200) may answer the range request, replacing the file
  uint64_t progress = 0;      // the last `received` reported
};

// The request's handles and the gate that keeps library calls off the request handle once it
// is closing (all but the handles under the context's `lock`).
struct RequestHandles {
  UniqueConnection connection;
  HINTERNET request = nullptr;  // closed once, by ShutRequestHandle or LeaveHandleUse
  int use_count = 0;            // library calls on `request` running now
  bool closing = false;         // no new call may start on `request`
  bool closed = false;
  bool await_closing_notice = false;  // disposal may wait for `closed_event`
  win::UniqueHandle closed_event;     // the request handle's closing notice came
};

// One attempt's transfer, touched only by the thread advancing the request (and `status` under
// the context's `lock`).
struct TransferCounters {
  TransferState state = TransferState::Send;
  std::unique_ptr<BYTE[]> buffer;  // kTransferBufferSize bytes
  DWORD bytes_read = 0;
  DWORD bytes_available = 0;    // the last answer of InternetQueryDataAvailable
  DWORD status = 0;             // the answer's status; 0 before there is one
  bool answer_taken = false;    // the answer's headers were judged (once per send)
  uint64_t content_length = 0;  // this answer's Content-Length; 0 when none
  uint64_t body_limit = 0;      // the most body bytes this answer may bring
  uint64_t attempt_bytes = 0;   // body bytes this attempt stored
  uint64_t progress_base = 0;   // received = progress_base + attempt_bytes
  uint64_t progress = 0;        // the last `received` reported; reports never go back
};

// What carries a download across requests: where this one began and what its answer made of it
// (under the context's `lock` once the answer is taken).
struct ResumeState {
  ResumePoint start;            // `offset` is also the range asked for
  std::wstring validator;       // from a 200 answer, or `start`'s
  uint64_t whole_length = 0;    // the whole file's length: the progress reports' `expected`
  bool restarted = false;       // a 200 answered the range request and emptied the file
  bool answer_refused = false;  // the answer to the range request could not continue the file
};

struct RequestContext {
  RequestSettings settings;
  HANDLE output_file = INVALID_HANDLE_VALUE;  // the download's; written only by steps
  RequestHandles handles;
  TransferCounters transfer;
  ResumeState resume;

  win::CriticalSection lock{4000};
  win::CriticalSection issue_lock{4000};  // held by a thread for as long as its library call runs

  // How the attempt ends, and who may still advance it (under `lock`).
  bool cancelled = false;
  bool retry_requested = false;        // the proxy-credentials prompt asked to send it again
  bool prompted_this_attempt = false;  // the prompt was shown for this attempt
  bool abandoned = false;              // disposed: no step may start any more
  int advancing = 0;                   // AdvanceRequest calls running now
  CONDITION_VARIABLE advances_done = CONDITION_VARIABLE_INIT;
  bool ended_on_its_own = false;  // the attempt's transfer ended without being cut off
  DWORD transfer_error = 0;       // the error that ended the last attempt (0: body complete)
  // FileWrite, TooLong or NoRoom when the engine itself ended the attempt for that reason.
  DownloadFailure ended_by = DownloadFailure::None;
  win::UniqueHandle completion_event;  // the attempt's transfer ended
  // The GetTickCount64 value at which the attempt counts as stalled; every stored chunk moves it.
  std::atomic<ULONGLONG> deadline{0};

  std::atomic<LONG> ref_count{1};
};

// A request for `settings`' URL that writes into `output_file` from `start` on.
DWORD NewRequestContext(HINTERNET session, const RequestSettings& settings, HANDLE output_file,
                        const ResumePoint& start, RequestContext** context);
DWORD OpenHttpRequest(RequestContext* context, HINTERNET session);
void AdvanceRequest(RequestContext* context, DWORD error);
DWORD StepSend(RequestContext* context);
DWORD StepReceive(RequestContext* context);
DWORD StepStore(RequestContext* context, bool* end_of_body);
void CALLBACK OnInternetStatus(HINTERNET handle, DWORD_PTR context_value, DWORD status,
                               LPVOID status_information, DWORD status_information_length);
// Waits for the attempt to end; false when it stalled (no body byte for the stall limit).
bool AwaitCompletion(RequestContext* context);
void RewindForRetry(RequestContext* context);
bool EnterHandleUse(RequestContext* context);
void LeaveHandleUse(RequestContext* context);
void ShutRequestHandle(RequestContext* context);
// Marks the request cancelled, shuts its handle and wakes the download's thread: WinINet may
// never complete a step pending on a closed handle (Wine), so the cancelled download ends on its
// own side.
void CancelRequest(RequestContext* context);
void AbandonRequest(RequestContext* context);
// Abandons the request, waits for its closing notice when that is due, and lets it go; true
// when it was cancelled.
bool DisposeRequestContext(RequestContext* context);

// Reference counting (see the top of this file); the last release frees the context.
void RetainRequestContext(RequestContext* context);
void ReleaseRequestContext(RequestContext* context);
