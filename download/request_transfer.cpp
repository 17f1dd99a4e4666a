// Driving one request: the step machine, the status callback, waiting and the proxy retry.
#include "download_engine.h"
#include "proxy_credentials_prompt.h"
#include "request_context.h"

namespace {

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

// Read at every completion: the body length for the progress calls, and a proxy's 407, which
// asks for credentials once per attempt (a 407 body whose read pends must not ask again).
void ReadResponseFacts(RequestContext* context) {
  if (!EnterHandleUse(context)) {
    context->content_length = 0;
    return;
  }
  if (QueryNumber(context->request_handle, HTTP_QUERY_CONTENT_LENGTH, &context->content_length))
    context->content_length = 0;
  DWORD status = 0;
  const bool ask_for_credentials =
      !QueryNumber(context->request_handle, HTTP_QUERY_STATUS_CODE, &status) &&
      status == HTTP_STATUS_PROXY_AUTH_REQ && !context->prompted_this_attempt;
  if (ask_for_credentials) {
    context->prompted_this_attempt = true;
    // The wizard's window is topmost; let the dialog come above it, then restore.
    const HWND owner = EngineOwnerWindow();
    SetWindowPos(owner, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    const DWORD answer = PromptForProxyCredentials(context->request_handle);
    SetWindowPos(owner, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    win::CriticalSectionGuard guard(context->lock);
    context->retry_requested = answer == ERROR_INTERNET_FORCE_RETRY;
  }
  LeaveHandleUse(context);
}

}  // namespace

DWORD StepSend(RequestContext* context) {
  return IssueHandleCall(context, [context] {
    return HttpSendRequestW(context->request_handle, nullptr, 0, nullptr, 0);
  });
}

// Asks how much of the body is ready; when the question pends, `state` stays Receive and the
// completion asks again. An answer of 0 given at once is the end of the body. Otherwise reads
// at most the ready amount (and at most one buffer), which completes at once.
DWORD StepReceive(RequestContext* context) {
  if (DWORD error = IssueHandleCall(context, [context] {
        return InternetQueryDataAvailable(context->request_handle, &context->bytes_available, 0, 0);
      }))
    return error;
  context->state = TransferState::Store;
  if (context->bytes_available == 0) {
    context->bytes_read = 0;
    return 0;
  }
  const DWORD size = context->bytes_available < context->buffer_size ? context->bytes_available
                                                                     : context->buffer_size;
  return IssueHandleCall(context, [context, size] {
    return InternetReadFile(context->request_handle, context->buffer.get(), size,
                            &context->bytes_read);
  });
}

DWORD StepStore(RequestContext* context, bool* end_of_body) {
  *end_of_body = false;
  if (context->bytes_read == 0) {
    *end_of_body = true;
    // Wine ends a body whose connection closed early as if it were complete.
    const bool short_of_its_length =
        context->content_length != 0 && context->attempt_bytes != context->content_length;
    return short_of_its_length ? ERROR_INTERNET_CONNECTION_ABORTED : 0;
  }
  context->bytes_received += context->bytes_read;
  context->attempt_bytes += context->bytes_read;
  if (context->progress_callback)
    context->progress_callback(context->progress_context, context->content_length,
                               context->bytes_received, context->output_path);
  DWORD written = 0;
  if (!WriteFile(context->output_file.get(), context->buffer.get(), context->bytes_read, &written,
                 nullptr)) {
    const DWORD error = GetLastError();
    win::CriticalSectionGuard guard(context->lock);
    context->write_failed = true;
    return error;
  }
  return 0;
}

void AdvanceRequest(RequestContext* context, DWORD error) {
  {
    win::CriticalSectionGuard guard(context->lock);
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
        bool end_of_body = false;
        error = StepStore(context, &end_of_body);
        if (end_of_body) context->state = TransferState::Finished;
        break;
      }
      case TransferState::Finished:
        break;
    }
  }
  win::CriticalSectionGuard guard(context->lock);
  if (error != ERROR_IO_PENDING) {
    context->transfer_error = error;
    // Refused because the handle is closing, or cut off by the time limit: the body was
    // left unread.
    context->ended_on_its_own = error != ERROR_OPERATION_ABORTED && error != ERROR_INTERNET_TIMEOUT;
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
      if (handle != context->request_handle) return;
      SetEvent(context->clean_up_event.get());
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
    default:
      return;
  }
}

bool AwaitCompletion(RequestContext* context, DWORD time_limit) {
  return WaitForSingleObject(context->completion_event.get(), time_limit) == WAIT_OBJECT_0;
}

void RewindForRetry(RequestContext* context) {
  win::CriticalSectionGuard guard(context->lock);
  context->retry_requested = 0;
  context->prompted_this_attempt = false;
  context->transfer_error = 0;
  context->write_failed = false;
  context->ended_on_its_own = false;
  context->bytes_read = 0;
  context->attempt_bytes = 0;
  SetFilePointer(context->output_file.get(), 0, nullptr, FILE_BEGIN);
  SetEndOfFile(context->output_file.get());
  ResetEvent(context->clean_up_event.get());
  ResetEvent(context->completion_event.get());
  context->state = TransferState::Send;
}

void WakeRequestWaiter(RequestContext* context) { SetEvent(context->completion_event.get()); }

DWORD QueryFinalStatus(RequestContext* context) {
  DWORD status = 0;
  if (!EnterHandleUse(context)) return 0;
  if (QueryNumber(context->request_handle, HTTP_QUERY_STATUS_CODE, &status)) status = 0;
  LeaveHandleUse(context);
  return status;
}
