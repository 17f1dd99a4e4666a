// Driving one request: the step machine, the status callback, waiting and the proxy retry.
#include <string>

#include "download/request_context.h"

namespace {

constexpr ULONGLONG kNoDeadline = ~ULONGLONG{0};
constexpr DWORD kStallCheckMs = 60000;  // the longest single wait for the transfer

// Issues one call on the request handle unless the handle is closing. Once the call has
// pended, its completion may already be running on a WinINet thread: nothing here touches the
// transfer after the call.
template <typename Call>
DWORD IssueHandleCall(RequestContext* context, Call call) {
  if (!EnterHandleUse(context)) return ERROR_OPERATION_ABORTED;
  DWORD error;
  {
    win::CriticalSectionGuard issuing(context->issue_lock);
    error = call() ? 0 : GetLastError();
  }
  LeaveHandleUse(context);
  return error;
}

DWORD QueryNumber(HINTERNET request, DWORD what, DWORD* value) {
  DWORD size = sizeof(*value);
  return HttpQueryInfoW(request, what | HTTP_QUERY_FLAG_NUMBER, value, &size, nullptr) ? 0 : 1;
}

// Read at every completion: a proxy's 407, which asks for credentials once per attempt (a 407
// body whose read pends must not ask again).
void ReadResponseFacts(RequestContext* context) {
  if (!EnterHandleUse(context)) return;
  DWORD status = 0;
  const bool ask_for_credentials =
      !QueryNumber(context->handles.request, HTTP_QUERY_STATUS_CODE, &status) &&
      status == HTTP_STATUS_PROXY_AUTH_REQ && !context->prompted_this_attempt;
  if (ask_for_credentials) {
    context->prompted_this_attempt = true;
    // The wizard's window is topmost; let the dialog come above it, then restore.
    const HWND owner = context->settings.owner_window;
    SetWindowPos(owner, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    // The time the user takes over the dialog is no stall: the clock starts when it closes.
    context->deadline = kNoDeadline;
    const DWORD answer = context->settings.prompt(context->handles.request);
    context->deadline = GetTickCount64() + context->settings.stall_limit;
    SetWindowPos(owner, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    win::CriticalSectionGuard guard(context->lock);
    context->retry_requested = answer == ERROR_INTERNET_FORCE_RETRY;
  }
  LeaveHandleUse(context);
}

// A header's text; empty when it is missing, longer than `kMaxHeader` or holds a control
// character (it is sent back in a request header).
std::wstring QueryText(HINTERNET request, DWORD what) {
  constexpr DWORD kMaxHeader = 256;
  wchar_t text[kMaxHeader] = {};
  DWORD size = sizeof(text);
  if (!HttpQueryInfoW(request, what, text, &size, nullptr)) return {};
  std::wstring value(text, size / sizeof(wchar_t));
  for (wchar_t c : value)
    if (c < 0x20 || c == 0x7F) return {};
  return value;
}

// What a resumed request can send in If-Range: a strong ETag, else Last-Modified (a weak ETag
// may not be used there).
std::wstring ReadValidator(HINTERNET request) {
  std::wstring etag = QueryText(request, HTTP_QUERY_ETAG);
  if (!etag.empty() && etag.compare(0, 2, L"W/") != 0) return etag;
  return QueryText(request, HTTP_QUERY_LAST_MODIFIED);
}

// Reads an unsigned decimal number at `*at` that fits 64 bits, moving `*at` past it.
bool ReadNumber(const wchar_t** at, uint64_t* value) {
  constexpr uint64_t kMax = ~uint64_t{0};
  const wchar_t* p = *at;
  uint64_t n = 0;
  for (; *p >= L'0' && *p <= L'9'; ++p) {
    const unsigned digit = unsigned(*p - L'0');
    if (n > (kMax - digit) / 10) return false;
    n = n * 10 + digit;
  }
  if (p == *at) return false;
  *at = p;
  *value = n;
  return true;
}

// The answer's Content-Length; 0 when it is missing or not a number.
uint64_t ContentLength(HINTERNET request) {
  const std::wstring text = QueryText(request, HTTP_QUERY_CONTENT_LENGTH);
  const wchar_t* p = text.c_str();
  uint64_t length = 0;
  return ReadNumber(&p, &length) && !*p ? length : 0;
}

// True when `range` is "bytes OFFSET-(LENGTH-1)/LENGTH": the rest of the file from `offset` on.
bool RangeContinuesAt(const std::wstring& range, uint64_t offset, uint64_t* whole_length) {
  const wchar_t* p = range.c_str();
  if (range.compare(0, 6, L"bytes ") != 0) return false;
  p += 6;
  uint64_t first = 0, last = 0, length = 0;
  if (!ReadNumber(&p, &first) || *p++ != L'-' || !ReadNumber(&p, &last) || *p++ != L'/' ||
      !ReadNumber(&p, &length) || *p)
    return false;
  if (first != offset || length == 0 || last != length - 1 || first > last) return false;
  *whole_length = length;
  return true;
}

// False when the volume at `volume` has less free space than `length` bytes beyond `reclaimed`
// (bytes the file gives back first). An unknown length, or free space that cannot be read,
// passes: a write that fails for want of room still ends the download.
bool RoomFor(const std::wstring& volume, uint64_t length, uint64_t reclaimed) {
  ULARGE_INTEGER free = {};
  if (volume.empty() || length == 0 ||
      !GetDiskFreeSpaceExW(volume.c_str(), &free, nullptr, nullptr))
    return true;
  return free.QuadPart + reclaimed >= length;
}

// Judges an answer before its body is read (once per send). The whole file's length and the
// validator come from a 200, which may not announce more than the download's maximum. An answer
// to a range request must be a 206 for exactly the rest of the file, or (the range ignored, or
// the file changed) a 200 whole body that replaces what is stored, once; a proxy's 407 is retried
// as usual, anything else ends the attempt unread. Every body is bounded: by its announced
// length, and by the room the maximum leaves in the file.
DWORD TakeAnswer(RequestContext* context) {
  TransferCounters& transfer = context->transfer;
  const ResumePoint& start = context->resume.start;
  transfer.answer_taken = true;
  if (!EnterHandleUse(context)) return ERROR_OPERATION_ABORTED;
  const HINTERNET request = context->handles.request;
  DWORD status = 0;
  if (QueryNumber(request, HTTP_QUERY_STATUS_CODE, &status)) status = 0;
  transfer.content_length = ContentLength(request);
  const uint64_t max_length = context->settings.max_length;
  DWORD error = 0;
  DownloadFailure refused_as = DownloadFailure::None;
  uint64_t whole_length = transfer.content_length;
  std::wstring validator;
  if (status == 0) {
    // Wine lets a send succeed on a connection closed without any answer.
    error = ERROR_HTTP_INVALID_SERVER_RESPONSE;
  } else if (start.offset > 0 && status == HTTP_STATUS_PARTIAL_CONTENT) {
    if (!RangeContinuesAt(QueryText(request, HTTP_QUERY_CONTENT_RANGE), start.offset,
                          &whole_length) ||
        whole_length != start.whole_length)
      error = ERROR_HTTP_INVALID_SERVER_RESPONSE;
  } else if (status == HTTP_STATUS_OK) {
    validator = ReadValidator(request);
    if (start.offset > 0 && !start.may_restart) error = ERROR_HTTP_INVALID_SERVER_RESPONSE;
    if (transfer.content_length > max_length) {
      refused_as = DownloadFailure::TooLong;
      error = ERROR_FILE_TOO_LARGE;
    }
  } else if (start.offset > 0 && status != HTTP_STATUS_PROXY_AUTH_REQ) {
    error = ERROR_HTTP_INVALID_SERVER_RESPONSE;
  }
  LeaveHandleUse(context);
  // The announced body must fit on the output's volume (a 200 answering a range request first
  // frees what the file holds).
  if (!error && (status == HTTP_STATUS_OK || status == HTTP_STATUS_PARTIAL_CONTENT) &&
      !RoomFor(context->settings.output_volume, transfer.content_length,
               status == HTTP_STATUS_OK ? start.offset : 0)) {
    refused_as = DownloadFailure::NoRoom;
    error = ERROR_DISK_FULL;
  }

  // A 206 continues the file; any other body starts it over (a restart) or replaces a refusal.
  const uint64_t body_start = status == HTTP_STATUS_PARTIAL_CONTENT ? start.offset : 0;
  const uint64_t room = max_length > body_start ? max_length - body_start : 0;
  transfer.body_limit =
      transfer.content_length && transfer.content_length < room ? transfer.content_length : room;

  win::CriticalSectionGuard guard(context->lock);
  ResumeState& resume = context->resume;
  transfer.status = status;
  context->ended_by = refused_as;
  resume.answer_refused = error != 0 && status != 0;
  if (error) return error;
  if (status == HTTP_STATUS_OK) {
    resume.validator = std::move(validator);
    if (start.offset > 0) {
      // The stored beginning is void: start the file over, and report nothing until the new
      // body passes what was reported (the reports never go back or count a byte twice).
      SetFilePointer(context->output_file, 0, nullptr, FILE_BEGIN);
      SetEndOfFile(context->output_file);
      transfer.progress_base -= start.offset;
      resume.restarted = true;
    }
  }
  if (start.offset == 0 || status != HTTP_STATUS_PROXY_AUTH_REQ) resume.whole_length = whole_length;
  return 0;
}

// Tells the caller where the download stands.
void Report(RequestContext* context, uint64_t received) {
  const DownloadProgressCallback* progress = context->settings.progress;
  if (progress && *progress) (*progress)({received, context->resume.whole_length, 0});
}

}  // namespace

DWORD StepSend(RequestContext* context) {
  return IssueHandleCall(context, [context] {
    return HttpSendRequestW(context->handles.request, nullptr, 0, nullptr, 0);
  });
}

// Asks how much of the body is ready; when the question pends, `state` stays Receive and the
// completion asks again. An answer of 0 given at once is the end of the body. Otherwise reads
// at most the ready amount (and at most one buffer), which completes at once.
DWORD StepReceive(RequestContext* context) {
  TransferCounters& transfer = context->transfer;
  if (DWORD error = IssueHandleCall(context, [context, &transfer] {
        return InternetQueryDataAvailable(context->handles.request, &transfer.bytes_available, 0,
                                          0);
      }))
    return error;
  transfer.state = TransferState::Store;
  if (transfer.bytes_available == 0) {
    transfer.bytes_read = 0;
    return 0;
  }
  const DWORD size = transfer.bytes_available < kTransferBufferSize ? transfer.bytes_available
                                                                    : kTransferBufferSize;
  return IssueHandleCall(context, [context, &transfer, size] {
    return InternetReadFile(context->handles.request, transfer.buffer.get(), size,
                            &transfer.bytes_read);
  });
}

// Reports and writes the chunk read; a chunk that would take the body past its limit is stored
// only up to the limit, and the attempt ends there.
DWORD StepStore(RequestContext* context, bool* end_of_body) {
  TransferCounters& transfer = context->transfer;
  *end_of_body = false;
  if (transfer.bytes_read == 0) {
    *end_of_body = true;
    // Wine ends a body whose connection closed early as if it were complete.
    const bool short_of_its_length =
        transfer.content_length != 0 && transfer.attempt_bytes != transfer.content_length;
    return short_of_its_length ? ERROR_INTERNET_CONNECTION_ABORTED : 0;
  }
  const uint64_t room = transfer.body_limit - transfer.attempt_bytes;
  const bool too_long = transfer.bytes_read > room;
  const DWORD size = too_long ? DWORD(room) : transfer.bytes_read;
  if (size > 0) {
    context->deadline = GetTickCount64() + context->settings.stall_limit;
    transfer.attempt_bytes += size;
    const uint64_t received = transfer.progress_base + transfer.attempt_bytes;
    if (received > transfer.progress) {
      transfer.progress = received;
      Report(context, received);
    }
    DWORD written = 0;
    if (!WriteFile(context->output_file, transfer.buffer.get(), size, &written, nullptr)) {
      const DWORD error = GetLastError();
      win::CriticalSectionGuard guard(context->lock);
      context->ended_by = DownloadFailure::FileWrite;
      return error;
    }
  }
  if (!too_long) return 0;
  win::CriticalSectionGuard guard(context->lock);
  context->ended_by = DownloadFailure::TooLong;
  return ERROR_FILE_TOO_LARGE;
}

void AdvanceRequest(RequestContext* context, DWORD error) {
  TransferCounters& transfer = context->transfer;
  {
    win::CriticalSectionGuard guard(context->lock);
    if (context->abandoned) return;  // a late completion after disposal: nothing to do
    ++context->advancing;
  }
  // `error` is tested first: after a step has pended, `state` belongs to the thread that
  // will complete it.
  while (error == 0 && transfer.state != TransferState::Finished) {
    switch (transfer.state) {
      case TransferState::Send:
        transfer.state = TransferState::Receive;
        error = StepSend(context);
        break;
      case TransferState::Receive:
        error = transfer.answer_taken ? StepReceive(context) : TakeAnswer(context);
        break;
      case TransferState::Store: {
        transfer.state = TransferState::Receive;
        bool end_of_body = false;
        error = StepStore(context, &end_of_body);
        if (end_of_body) transfer.state = TransferState::Finished;
        break;
      }
      case TransferState::Finished: break;
    }
  }
  win::CriticalSectionGuard guard(context->lock);
  if (error != ERROR_IO_PENDING) {
    context->transfer_error = error;
    // Refused because the handle is closing, timed out, an answer not taken, a body past its
    // limit or without room: the rest of the body was left unread.
    context->ended_on_its_own = error != ERROR_OPERATION_ABORTED &&
                                error != ERROR_INTERNET_TIMEOUT &&
                                error != ERROR_HTTP_INVALID_SERVER_RESPONSE &&
                                error != ERROR_FILE_TOO_LARGE && error != ERROR_DISK_FULL;
    SetEvent(context->completion_event.get());
  }
  if (--context->advancing == 0) WakeAllConditionVariable(&context->advances_done);
}

void CALLBACK OnInternetStatus(HINTERNET handle, DWORD_PTR context_value, DWORD status,
                               LPVOID status_information, DWORD) {
  auto* context = reinterpret_cast<RequestContext*>(context_value);
  if (!context) return;
  switch (status) {
    case INTERNET_STATUS_HANDLE_CLOSING:
      if (handle != context->handles.request) return;
      SetEvent(context->handles.closed_event.get());
      // The request handle's last notice: WinINet's reference ends here.
      ReleaseRequestContext(context);
      return;
    case INTERNET_STATUS_REQUEST_COMPLETE: {
      const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(status_information);
      // The call that pended may not have returned to its issuer yet, and may still write.
      { win::CriticalSectionGuard issued(context->issue_lock); }
      ReadResponseFacts(context);
      // dwError counts only for a failed call: a completed query reports its byte count there.
      AdvanceRequest(context, result->dwResult  ? 0
                              : result->dwError ? result->dwError
                                                : ERROR_INTERNET_INTERNAL_ERROR);
      return;
    }
    default: return;
  }
}

bool AwaitCompletion(RequestContext* context) {
  for (;;) {
    // Read again after every wait: each stored chunk (or a closed prompt) moves it.
    const ULONGLONG now = GetTickCount64(), deadline = context->deadline;
    if (now >= deadline) return false;
    const ULONGLONG left = deadline - now;
    if (WaitForSingleObject(context->completion_event.get(),
                            left < kStallCheckMs ? DWORD(left) : kStallCheckMs) == WAIT_OBJECT_0)
      return true;
  }
}

void RewindForRetry(RequestContext* context) {
  TransferCounters& transfer = context->transfer;
  win::CriticalSectionGuard guard(context->lock);
  context->retry_requested = false;
  context->prompted_this_attempt = false;
  context->transfer_error = 0;
  context->ended_by = DownloadFailure::None;
  context->ended_on_its_own = false;
  transfer.bytes_read = 0;
  // The refusal's body is dropped from the file but stays counted, as it was reported.
  transfer.progress_base += transfer.attempt_bytes;
  LARGE_INTEGER start = {};
  start.QuadPart = context->resume.restarted ? 0 : LONGLONG(context->resume.start.offset);
  SetFilePointerEx(context->output_file, start, nullptr, FILE_BEGIN);
  SetEndOfFile(context->output_file);
  transfer.attempt_bytes = 0;
  transfer.answer_taken = false;
  transfer.status = 0;
  ResetEvent(context->handles.closed_event.get());
  ResetEvent(context->completion_event.get());
  transfer.state = TransferState::Send;
}
