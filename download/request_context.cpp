// Creating, closing and disposing of a request context.
#include "download/request_context.h"

#include <new>

#include "download/download_engine.h"

void RetainRequestContext(RequestContext* context) { InterlockedIncrement(&context->ref_count); }

void ReleaseRequestContext(RequestContext* context) {
  if (InterlockedDecrement(&context->ref_count) == 0) delete context;
}

DWORD NewRequestContext(HINTERNET session, const RequestSettings& settings, HANDLE output_file,
                        const ResumePoint& start, RequestContext** context,
                        DownloadProgressCallback callback, void* callback_context) {
  *context = nullptr;
  auto* ctx = new (std::nothrow) RequestContext;
  if (!ctx) return ERROR_NOT_ENOUGH_MEMORY;
  ctx->progress_callback = callback;
  ctx->progress_context = callback_context;
  ctx->output_path = settings.output_path;
  ctx->output_file = output_file;
  ctx->stall_limit = settings.stall_limit;
  ctx->user_name = settings.user_name;
  ctx->password = settings.password;
  ctx->start = start;
  ctx->validator = start.validator;
  ctx->whole_length = start.whole_length;
  ctx->progress = ctx->progress_base = start.progress;

  auto fail = [ctx](DWORD error) {
    DisposeRequestContext(ctx);
    return error;
  };
  ctx->buffer.reset(new (std::nothrow) BYTE[kTransferBufferSize]);
  if (!ctx->buffer) return fail(ERROR_NOT_ENOUGH_MEMORY);
  ctx->buffer_size = kTransferBufferSize;

  ctx->completion_event.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!ctx->completion_event) return fail(GetLastError());
  ctx->clean_up_event.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!ctx->clean_up_event) return fail(GetLastError());

  if (DWORD error = OpenHttpRequest(ctx, session, settings.host_name.c_str(), settings.port,
                                    settings.object_path.c_str(), settings.secure))
    return fail(error);
  if (start.offset > 0) {
    // The rest of the file, only if it is still the one whose beginning is stored; otherwise
    // the server answers with the whole new body.
    const std::wstring headers = L"Range: bytes=" + std::to_wstring(start.offset) +
                                 L"-\r\nIf-Range: " + start.validator + L"\r\n";
    if (!HttpAddRequestHeadersW(ctx->request_handle, headers.c_str(), DWORD(headers.size()),
                                HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE))
      return fail(GetLastError());
  }
  *context = ctx;
  return 0;
}

DWORD OpenHttpRequest(RequestContext* context, HINTERNET session, const wchar_t* host_name,
                      INTERNET_PORT port, const wchar_t* object_path, bool secure) {
  const auto value = reinterpret_cast<DWORD_PTR>(context);
  context->connect_handle.reset(InternetConnectW(session, host_name, port, nullptr, nullptr,
                                                 INTERNET_SERVICE_HTTP, 0, value));
  if (!context->connect_handle) return GetLastError();
  if (!context->user_name.empty())
    InternetSetOptionW(context->connect_handle.get(), INTERNET_OPTION_USERNAME,
                       const_cast<wchar_t*>(context->user_name.c_str()),
                       static_cast<DWORD>(context->user_name.size() + 1));
  if (!context->password.empty())
    InternetSetOptionW(context->connect_handle.get(), INTERNET_OPTION_PASSWORD,
                       const_cast<wchar_t*>(context->password.c_str()),
                       static_cast<DWORD>(context->password.size() + 1));

  // Cache bypassed; HTTPS checks the certificate fully (its name included).
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
  if (secure) flags |= INTERNET_FLAG_SECURE;
  // WinINet's reference: taken before the handle exists, since notices may come at once.
  RetainRequestContext(context);
  context->request_handle = HttpOpenRequestW(context->connect_handle.get(), L"GET", object_path,
                                             nullptr, nullptr, nullptr, flags, value);
  if (!context->request_handle) {
    const DWORD error = GetLastError();
    ReleaseRequestContext(context);
    return error;
  }
  return 0;
}

bool EnterHandleUse(RequestContext* context) {
  win::CriticalSectionGuard guard(context->lock);
  if (context->closing) return false;
  ++context->handle_use_count;
  return true;
}

void LeaveHandleUse(RequestContext* context) {
  bool close_now = false;
  {
    win::CriticalSectionGuard guard(context->lock);
    --context->handle_use_count;
    if (context->closing && context->handle_use_count == 0 && !context->request_closed) {
      context->request_closed = 1;
      context->await_closing_notice = 1;
      close_now = true;
    }
  }
  if (close_now) InternetCloseHandle(context->request_handle);
}

void ShutRequestHandle(RequestContext* context) {
  bool close_now = false;
  {
    win::CriticalSectionGuard guard(context->lock);
    context->closing = 1;
    if (context->handle_use_count == 0 && !context->request_closed) {
      context->request_closed = 1;
      close_now = true;
    }
  }
  if (!close_now) return;
  const BOOL closed = InternetCloseHandle(context->request_handle);
  if (!closed || EngineBrowserMajorVersion() > 6) {
    win::CriticalSectionGuard guard(context->lock);
    context->await_closing_notice = 1;
  }
}

void AbandonRequest(RequestContext* context) {
  if (!context->request_handle) return;
  ShutRequestHandle(context);
  win::CriticalSectionGuard guard(context->lock);
  // No step starts from now on; one that is running ends at its next (refused) handle
  // call, so this wait lasts at most one chunk's store.
  context->abandoned = true;
  while (context->advancing > 0)
    SleepConditionVariableCS(&context->advances_done, context->lock.Native(), INFINITE);
}

void DisposeRequestContext(RequestContext* context, LONG* cancelled) {
  if (!context) return;
  AbandonRequest(context);
  bool await_notice;
  {
    // Only a request whose transfer ended on its own gets its closing notice promptly.
    win::CriticalSectionGuard guard(context->lock);
    await_notice = context->await_closing_notice && context->ended_on_its_own;
  }
  if (await_notice) WaitForSingleObject(context->clean_up_event.get(), 10000);
  context->connect_handle.reset();
  if (cancelled) {
    win::CriticalSectionGuard guard(context->lock);
    *cancelled = context->cancelled;
  }
  ReleaseRequestContext(context);
}
