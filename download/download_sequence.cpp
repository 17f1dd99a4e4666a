// The download sequence: one URL into one file through one request, with its retries.
#include "download/download_engine.h"

#include "download/engine_core.h"
#include "download/output_file.h"
#include "download/request_context.h"

namespace {

constexpr uint32_t kMaxResumes = kMaxResumeTries;
// The wait before a resume; a shutdown ends it at once.
constexpr DWORD kResumePauseMs = 1000;

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
DownloadFailure Classify(bool timed_out, bool cancelled, DownloadFailure ended_by,
                         DWORD transfer_error, DWORD status) {
  if (cancelled) return DownloadFailure::Cancelled;
  if (timed_out || transfer_error == ERROR_INTERNET_TIMEOUT) return DownloadFailure::TimedOut;
  if (ended_by == DownloadFailure::FileWrite) return ended_by;
  if (status && (status < 200 || status >= 300)) return DownloadFailure::HttpStatus;
  if (ended_by != DownloadFailure::None) return ended_by;
  if (transfer_error) return status ? DownloadFailure::CutOff : DownloadFailure::Unreachable;
  if (!status) return DownloadFailure::Unreachable;
  return DownloadFailure::None;
}

// Runs one request to its end, sending it again when the proxy-credentials prompt asks for
// that; false when it stalled.
bool RunRequest(RequestContext* context) {
  for (;;) {
    context->deadline = GetTickCount64() + context->settings.stall_limit;
    AdvanceRequest(context, 0);
    if (!AwaitCompletion(context)) return false;
    {
      win::CriticalSectionGuard guard(context->lock);
      if (!context->retry_requested || context->cancelled) return true;
    }
    RewindForRetry(context);
  }
}

// What a request left behind, read once it is abandoned.
struct RequestEnd {
  DownloadFailure failure = DownloadFailure::NotStarted;
  DWORD status = 0;
  DWORD error = 0;
  bool refused = false;  // the answer to a range request could not continue the file
  ResumePoint next;      // where a resume would start
};

RequestEnd Conclude(RequestContext* context, bool stalled, const DownloadOutputFile& file) {
  win::CriticalSectionGuard guard(context->lock);
  RequestEnd end;
  const ResumeState& resume = context->resume;
  end.status = context->transfer.status;
  end.error = stalled ? DWORD(ERROR_INTERNET_TIMEOUT) : context->transfer_error;
  end.refused = resume.answer_refused;
  end.failure =
      Classify(stalled, context->cancelled, context->ended_by, context->transfer_error, end.status);
  end.next.offset = file.StoredBytes();
  end.next.validator = resume.validator;
  end.next.whole_length = resume.whole_length;
  end.next.may_restart = resume.start.may_restart && !resume.restarted;
  end.next.progress = context->transfer.progress;
  // A body that ended early without an announced length to compare with (a 206 without one).
  if (end.failure == DownloadFailure::None && end.next.whole_length &&
      end.next.offset != end.next.whole_length)
    end.failure = DownloadFailure::CutOff;
  return end;
}

// A request that broke off or stalled after part of a body whose server named its version
// (and length) continues with a range request; so does a resume that found no server.
bool Resumable(const RequestEnd& end, bool resuming) {
  const bool broke_off = end.failure == DownloadFailure::CutOff ||
                         end.failure == DownloadFailure::TimedOut ||
                         (resuming && end.failure == DownloadFailure::Unreachable);
  return broke_off && !end.refused && !end.next.validator.empty() && end.next.offset > 0 &&
         end.next.offset < end.next.whole_length;
}

}  // namespace

bool DownloadEngine::Download(const wchar_t* url, const wchar_t* output_path,
                              const DownloadProgressCallback& progress, DownloadOutcome* outcome,
                              const DownloadLimits& limits) {
  DownloadOutcome unused;
  if (!outcome) outcome = &unused;
  *outcome = DownloadOutcome{};
  // Held until this download has left the engine, so a shutdown that stops waiting for it
  // cannot delete the lock or close the session it still uses.
  const std::shared_ptr<EngineCore> engine = core_;

  RequestSettings settings;
  if (!url || !SplitUrl(url, &settings)) return false;
  settings.stall_limit = limits.stall_limit_ms;
  settings.max_length = limits.max_length;
  settings.owner_window = engine->owner_window;
  settings.prompt = engine->prompt;
  settings.progress = &progress;

  {
    win::CriticalSectionGuard guard(engine->lock);
    if (engine->stopping) return false;
    if (!engine->session) {
      engine->browser_major_version = ReadBrowserMajorVersion();
      engine->session.reset(InternetOpenW(L"TScourlet",
                                          engine->manual_proxy
                                              ? INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY
                                              : INTERNET_OPEN_TYPE_PRECONFIG,
                                          nullptr, nullptr, INTERNET_FLAG_ASYNC));
      if (!engine->session) return false;
    }
    settings.browser_major_version = engine->browser_major_version;
  }
  if (InternetSetStatusCallbackW(engine->session.get(), OnInternetStatus) ==
      INTERNET_INVALID_STATUS_CALLBACK)
    return false;

  DownloadOutputFile file;
  RequestContext* context = nullptr;
  {
    win::CriticalSectionGuard guard(engine->lock);
    if (engine->stopping || file.Open(output_path)) return false;
    settings.output_volume = file.Volume();
    if (NewRequestContext(engine->session.get(), settings, file.handle(), ResumePoint{}, &context))
      return false;
    engine->registry.push_back(context);
  }

  RequestEnd end;
  for (;;) {
    const bool stalled = !RunRequest(context);
    // From here on this request neither writes nor calls back: the file is what it stored.
    AbandonRequest(context);
    end = Conclude(context, stalled, file);
    if (outcome->resumes == kMaxResumes || !Resumable(end, outcome->resumes > 0)) break;
    // The caller learns that the download waits for the server, and for which try.
    if (progress) progress({end.next.progress, end.next.whole_length, outcome->resumes + 1});
    // A moment for whatever broke the connection to pass; a cancel ends the wait.
    ResetEvent(context->completion_event.get());
    WaitForSingleObject(context->completion_event.get(), kResumePauseMs);
    RequestContext* next = nullptr;
    if (NewRequestContext(engine->session.get(), settings, file.handle(), end.next, &next)) break;
    if (!ReplaceRequest(*engine, context, next)) {  // cancelled, in the pause or just before
      DisposeRequestContext(next);
      end.failure = DownloadFailure::Cancelled;
      break;
    }
    DisposeRequestContext(context);
    context = next;
    ++outcome->resumes;
  }

  UnregisterRequest(*engine, context);
  const bool cancelled = DisposeRequestContext(context);
  // A transfer that broke off, or an answer that is not a success, leaves its body in the
  // file but does not count as a download.
  outcome->failure = cancelled ? DownloadFailure::Cancelled : end.failure;
  outcome->http_status = end.status;
  outcome->error = end.error;
  outcome->bytes_received = end.next.offset;
  outcome->content_length = end.next.whole_length;
  outcome->restarted = !end.next.may_restart;
  return outcome->failure == DownloadFailure::None;
}
