// Creating, closing and disposing of a request context.
#include "download/request_context.h"

#include <new>

void RetainRequestContext(RequestContext* context) { ++context->ref_count; }

void ReleaseRequestContext(RequestContext* context) {
  if (--context->ref_count == 0) delete context;
}

DWORD NewRequestContext(HINTERNET session, const RequestSettings& settings, HANDLE output_file,
                        const ResumePoint& start, RequestContext** context) {
  *context = nullptr;
  auto* ctx = new (std::nothrow) RequestContext;
  if (!ctx) return ERROR_NOT_ENOUGH_MEMORY;
  ctx->settings = settings;
  ctx->output_file = output_file;
  ctx->resume.start = start;
  ctx->resume.validator = start.validator;
  ctx->resume.whole_length = start.whole_length;
  ctx->transfer.progress = ctx->transfer.progress_base = start.progress;

  auto fail = [ctx](DWORD error) {
    DisposeRequestContext(ctx);
    return error;
  };
  ctx->transfer.buffer.reset(new (std::nothrow) BYTE[kTransferBufferSize]);
  if (!ctx->transfer.buffer) return fail(ERROR_NOT_ENOUGH_MEMORY);

  ctx->completion_event.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!ctx->completion_event) return fail(GetLastError());
  ctx->handles.closed_event.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!ctx->handles.closed_event) return fail(GetLastError());

  if (DWORD error = OpenHttpRequest(ctx, session)) return fail(error);
  if (start.offset > 0) {
    // The rest of the file, only if it is still the one whose beginning is stored; otherwise
    // the server answers with the whole new body.
    const std::wstring headers = L"Range: bytes=" + std::to_wstring(start.offset) +
                                 L"-\r\nIf-Range: " + start.validator + L"\r\n";
    if (!HttpAddRequestHeadersW(ctx->handles.request, headers.c_str(), DWORD(headers.size()),
                                HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE))
      return fail(GetLastError());
  }
  *context = ctx;
  return 0;
}

DWORD OpenHttpRequest(RequestContext* context, HINTERNET session) {
  const RequestSettings& settings = context->settings;
  const auto value = reinterpret_cast<DWORD_PTR>(context);
  context->handles.connection.reset(InternetConnectW(session, settings.host_name.c_str(),
                                                     settings.port, nullptr, nullptr,
                                                     INTERNET_SERVICE_HTTP, 0, value));
  const HINTERNET connection = context->handles.connection.get();
  if (!connection) return GetLastError();
  if (!settings.user_name.empty())
    InternetSetOptionW(connection, INTERNET_OPTION_USERNAME,
                       const_cast<wchar_t*>(settings.user_name.c_str()),
                       static_cast<DWORD>(settings.user_name.size() + 1));
  if (!settings.password.empty())
    InternetSetOptionW(connection, INTERNET_OPTION_PASSWORD,
                       const_cast<wchar_t*>(settings.password.c_str()),
                       static_cast<DWORD>(settings.password.size() + 1));

  // Cache bypassed; HTTPS checks the certificate fully (its name included).
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
  if (settings.secure) flags |= INTERNET_FLAG_SECURE;
  // WinINet's reference: taken before the handle exists, since notices may come at once.
  RetainRequestContext(context);
  context->handles.request = HttpOpenRequestW(connection, L"GET", settings.object_path.c_str(),
                                              nullptr, nullptr, nullptr, flags, value);
  if (!context->handles.request) {
    const DWORD error = GetLastError();
    ReleaseRequestContext(context);
    return error;
  }
  return 0;
}

bool EnterHandleUse(RequestContext* context) {
  win::CriticalSectionGuard guard(context->lock);
  if (context->handles.closing) return false;
  ++context->handles.use_count;
  return true;
}

void LeaveHandleUse(RequestContext* context) {
  RequestHandles& handles = context->handles;
  bool close_now = false;
  {
    win::CriticalSectionGuard guard(context->lock);
    --handles.use_count;
    if (handles.closing && handles.use_count == 0 && !handles.closed) {
      handles.closed = true;
      handles.await_closing_notice = true;
      close_now = true;
    }
  }
  if (close_now) InternetCloseHandle(handles.request);
}

void ShutRequestHandle(RequestContext* context) {
  RequestHandles& handles = context->handles;
  bool close_now = false;
  {
    win::CriticalSectionGuard guard(context->lock);
    handles.closing = true;
    if (handles.use_count == 0 && !handles.closed) {
      handles.closed = true;
      close_now = true;
    }
  }
  if (!close_now) return;
  const BOOL closed = InternetCloseHandle(handles.request);
  if (!closed || context->settings.browser_major_version > 6) {
    win::CriticalSectionGuard guard(context->lock);
    handles.await_closing_notice = true;
  }
}

void CancelRequest(RequestContext* context) {
  {
    win::CriticalSectionGuard guard(context->lock);
    context->cancelled = true;
  }
  ShutRequestHandle(context);
  SetEvent(context->completion_event.get());
}

void AbandonRequest(RequestContext* context) {
  if (!context->handles.request) return;
  ShutRequestHandle(context);
  win::CriticalSectionGuard guard(context->lock);
  // No step starts from now on; one that is running ends at its next (refused) handle
  // call, so this wait lasts at most one chunk's store.
  context->abandoned = true;
  while (context->advancing > 0)
    SleepConditionVariableCS(&context->advances_done, context->lock.Native(), INFINITE);
}

bool DisposeRequestContext(RequestContext* context) {
  if (!context) return false;
  AbandonRequest(context);
  bool await_notice;
  {
    // Only a request whose transfer ended on its own gets its closing notice promptly.
    win::CriticalSectionGuard guard(context->lock);
    await_notice = context->handles.await_closing_notice && context->ended_on_its_own;
  }
  if (await_notice) WaitForSingleObject(context->handles.closed_event.get(), 10000);
  context->handles.connection.reset();
  bool cancelled;
  {
    win::CriticalSectionGuard guard(context->lock);
    cancelled = context->cancelled;
  }
  ReleaseRequestContext(context);
  return cancelled;
}
