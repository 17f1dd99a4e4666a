// The download sequence: one URL into one file through one request, with its retries.
#include "download_engine.h"

#include "engine_instance.h"
#include "request_context.h"

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
  settings->host_name = host;
  settings->port = parts.nPort;
  settings->object_path = *path ? path : L"/";
  settings->secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  settings->user_name = user;
  settings->password = password;
  return true;
}

// Names what ended a download. A status read means the server answered: a refusal is named by
// its status, and a transfer error after a success status cut the body off; an error with no
// status never reached an answer.
DownloadFailure Classify(bool timed_out, bool cancelled, bool write_failed, DWORD transfer_error,
                         DWORD status) {
  if (cancelled) return DownloadFailure::Cancelled;
  if (timed_out || transfer_error == ERROR_INTERNET_TIMEOUT) return DownloadFailure::TimedOut;
  if (write_failed) return DownloadFailure::FileWrite;
  if (status && (status < 200 || status >= 300)) return DownloadFailure::HttpStatus;
  if (transfer_error) return status ? DownloadFailure::CutOff : DownloadFailure::Unreachable;
  if (!status) return DownloadFailure::Unreachable;
  return DownloadFailure::None;
}

}  // namespace

bool DownloadUrlToFile(const wchar_t* url, const wchar_t* output_path, uint32_t time_limit,
                       DownloadProgressCallback callback, void* callback_context,
                       DownloadOutcome* outcome) {
  DownloadOutcome unused;
  if (!outcome) outcome = &unused;
  *outcome = DownloadOutcome{};
  // Held until this download has left the engine, so a shutdown that stops waiting for it
  // cannot delete the lock or close the session it still uses.
  const std::shared_ptr<EngineInstance> engine = RunningEngineInstance();
  if (!engine) return false;

  RequestSettings settings;
  if (!url || !SplitUrl(url, &settings)) return false;
  settings.output_path = output_path;
  settings.proxy_flag = EngineProxyFlag();
  settings.time_limit = time_limit;

  {
    win::CriticalSectionGuard guard(engine->lock);
    if (!engine->session) {
      RefreshBrowserMajorVersion();
      engine->session.reset(InternetOpenW(L"TScourlet",
                                          settings.proxy_flag
                                              ? INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY
                                              : INTERNET_OPEN_TYPE_PRECONFIG,
                                          nullptr, nullptr, INTERNET_FLAG_ASYNC));
      if (!engine->session) return false;
    }
  }
  if (InternetSetStatusCallbackW(engine->session.get(), OnInternetStatus) ==
      INTERNET_INVALID_STATUS_CALLBACK)
    return false;

  RequestContext* context = nullptr;
  {
    win::CriticalSectionGuard guard(engine->lock);
    if (engine->stopping) return false;
    if (NewRequestContext(engine->session.get(), settings, &context, callback, callback_context))
      return false;
    engine->registry.push_back(context);
  }

  bool timed_out = false;
  for (;;) {
    context->deadline = GetTickCount64() + settings.time_limit;
    AdvanceRequest(context, 0);
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now < context->deadline ? DWORD(context->deadline - now) : 0;
    if (!AwaitCompletion(context, left)) {
      timed_out = true;
      break;
    }
    bool retry;
    {
      win::CriticalSectionGuard guard(context->lock);
      retry = context->retry_requested && !context->cancelled;
    }
    if (!retry) break;
    RewindForRetry(context);
  }

  DWORD transfer_error;
  bool write_failed;
  {
    win::CriticalSectionGuard guard(context->lock);
    transfer_error = context->transfer_error;
    write_failed = context->write_failed;
    outcome->bytes_received = context->bytes_received;
    outcome->content_length = context->content_length;
  }
  // A transfer that broke off, or an answer that is not a success, leaves its body in the
  // file but does not count as a download.
  const DWORD status = timed_out ? 0 : QueryFinalStatus(context);
  UnregisterRequest(*engine, context);
  LONG cancelled = 0;
  DisposeRequestContext(context, &cancelled);
  outcome->http_status = status;
  outcome->error = timed_out ? DWORD(ERROR_INTERNET_TIMEOUT) : transfer_error;
  outcome->failure = Classify(timed_out, cancelled != 0, write_failed, transfer_error, status);
  return outcome->failure == DownloadFailure::None;
}
