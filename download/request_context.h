// One asynchronous HTTP GET over WinINet, from opening its handles to releasing its context.
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

#include "download/download_progress_callback.h"
#include "win/critical_section.h"
#include "win/internet_handle.h"

struct RequestSettings {
  std::wstring host_name;
  INTERNET_PORT port = 0;
  std::wstring object_path;
  const wchar_t* output_path = nullptr;  // the caller's string, passed to the progress calls
  int proxy_flag = 0;
  bool secure = false;
  DWORD stall_limit = 0;  // ms without a body byte that end an attempt
  std::wstring user_name;
  std::wstring password;
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
  DWORD offset = 0;        // bytes in the file; above 0, the request asks for the rest
  std::wstring validator;  // the first answer's strong ETag, else its Last-Modified
  DWORD whole_length = 0;  // the file's announced length
  bool may_restart = true;  // a whole body (200) may answer the range request, replacing the file
  DWORD progress = 0;       // the last received_so_far reported
};

struct RequestContext {
  std::wstring user_name;  // empty: none
  std::wstring password;
  LONG retry_requested = 0;
  LONG cancelled = 0;
  LONG request_closed = 0;
  HINTERNET request_handle = nullptr;  // closed once, by ShutRequestHandle or LeaveHandleUse
  LONG await_closing_notice = 0;
  UniqueConnection connect_handle;
  win::UniqueHandle completion_event;
  win::UniqueHandle clean_up_event;
  std::unique_ptr<BYTE[]> buffer;
  DWORD buffer_size = 0;
  DWORD bytes_read = 0;
  DWORD bytes_available = 0;  // the last answer of InternetQueryDataAvailable
  DWORD content_length = 0;  // this answer's Content-Length
  DWORD attempt_bytes = 0;   // body bytes this attempt stored
  HANDLE output_file = INVALID_HANDLE_VALUE;  // the download's; written only by steps
  ResumePoint start;         // where this request began (`offset` is also the range asked for)
  DWORD status = 0;          // the answer's status; 0 before there is one
  bool answer_taken = false;  // the answer's headers were judged (once per send)
  std::wstring validator;     // from a 200 answer, or `start`'s
  DWORD whole_length = 0;     // the whole file's length: the progress calls' expected_length
  DWORD progress_base = 0;    // received_so_far = progress_base + attempt_bytes
  DWORD progress = 0;         // the last received_so_far reported; reports never go back
  bool restarted = false;     // a 200 answered the range request and emptied the file
  bool answer_refused = false;  // the answer to the range request could not continue the file
  DWORD stall_limit = 0;
  TransferState state = TransferState::Send;
  win::CriticalSection lock{4000};
  win::CriticalSection issue_lock{4000};  // held by a thread for as long as its library call runs
  LONG handle_use_count = 0;
  LONG closing = 0;
  DownloadProgressCallback progress_callback = nullptr;
  void* progress_context = nullptr;
  const wchar_t* output_path = nullptr;

  // Ownership and the end of the transfer (all but ref_count under `lock`).
  LONG ref_count = 1;      // Interlocked
  LONG advancing = 0;      // AdvanceRequest calls running now
  bool abandoned = false;  // disposed: no step may start any more
  CONDITION_VARIABLE advances_done = CONDITION_VARIABLE_INIT;
  bool ended_on_its_own = false;       // the attempt's transfer ended without being cut off
  bool prompted_this_attempt = false;  // the 407 prompt was shown for this attempt
  DWORD transfer_error = 0;            // the error that ended the last attempt (0: body complete)
  bool write_failed = false;           // that error came from writing the output file
  // The GetTickCount64 value at which the attempt counts as stalled; every stored chunk moves it.
  std::atomic<ULONGLONG> deadline{0};
};

// A request for `settings`' URL that writes into `output_file` from `start` on.
DWORD NewRequestContext(HINTERNET session, const RequestSettings& settings, HANDLE output_file,
                        const ResumePoint& start, RequestContext** context,
                        DownloadProgressCallback callback, void* callback_context);
DWORD OpenHttpRequest(RequestContext* context, HINTERNET session, const wchar_t* host_name,
                      INTERNET_PORT port, const wchar_t* object_path, bool secure);
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
void AbandonRequest(RequestContext* context);
void DisposeRequestContext(RequestContext* context, LONG* cancelled = nullptr);

// Reference counting (see the top of this file); the last release frees the context.
void RetainRequestContext(RequestContext* context);
void ReleaseRequestContext(RequestContext* context);
// Wakes the thread waiting for the transfer: a cancelled request ends on its own side, since
// WinINet may never complete the step that was pending when its handle was closed.
void WakeRequestWaiter(RequestContext* context);
