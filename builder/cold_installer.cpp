#include "builder/cold_installer.h"

#include <cwchar>

#include "builder/installer_signature.h"
#include "builder/removable_drives.h"
#include "win/scope_exit.h"

void CreateInstallerEvents(ColdInstallContext& context) {
  const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, L"COLDINSTALL_EVENT");
  const bool existed = event && GetLastError() == ERROR_ALREADY_EXISTS;
  context.installer_event.reset(event);
  // An event that exists already is held by another process, which could fake the installer's
  // signals or keep the monitor busy: it is not shared.
  context.installer_event_taken = existed;
  if (existed) context.installer_event.reset();
  context.stop_event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  context.cancel_event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

std::wstring ColdInstallCommandLine(const std::wstring& work_folder,
                                    const std::wstring& drive_root) {
  return L"\"" + work_folder + L"ColdInstall.exe\" /S /P" + DriveName(drive_root);
}

namespace {

bool Fail(ColdInstallContext& context, FailureReason reason, const std::wstring& log_line) {
  context.log.Line(log_line);
  context.failure = BuildFailure{reason};
  return false;
}

const wchar_t* VerdictText(SignatureCheck verdict) {
  switch (verdict) {
    case SignatureCheck::kTrusted: return L"trusted";
    case SignatureCheck::kNotTrusted: return L"not trusted (unsigned, changed or refused)";
    case SignatureCheck::kOtherSigner: return L"signed by a signer that is not pinned";
  }
  return L"unknown";
}

std::wstring WithError(const std::wstring& text, DWORD error) {
  return text + L" (error " + std::to_wstring(error) + L")";
}

// Opens the installer and checks its signature. The file is held without write or delete sharing
// from the check until the process has started, so the file that starts is the file that was
// checked. Empty, with the failure named, when it cannot be opened or is not trusted.
win::UniqueFile OpenVerifiedInstaller(ColdInstallContext& c, const std::wstring& path) {
  win::UniqueFile installer(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!installer) {
    const DWORD error = GetLastError();
    Fail(c,
         error == ERROR_FILE_NOT_FOUND ? FailureReason::kInstallerMissing
                                       : FailureReason::kInstallerNotStarted,
         WithError(L"installer cannot be opened: " + path, error));
    return {};
  }
  const SignatureCheck verdict = CheckInstallerSignature(installer.get(), path);
  c.log.Line(std::wstring(L"installer signature: ") + VerdictText(verdict));
  if (verdict != SignatureCheck::kTrusted) {
    Fail(c, FailureReason::kInstallerNotAuthentic, L"installer not run");
    return {};
  }
  return installer;
}

// The installer's process and the job it runs in. The job ends the installer when its last
// handle closes: at the latest when this process ends, so an elevated installer never outlives
// the wizard.
struct InstallerRun {
  win::UniqueHandle job;
  win::UniqueHandle process;
};

// Starts the checked installer suspended, puts it in its job and lets it run. It inherits no
// handle of the wizard's and runs in its own folder. False, with the failure named, when any
// step fails; an installer that started but could not be put in its job is ended.
bool StartInJob(ColdInstallContext& c, win::UniqueFile installer, const std::wstring& path,
                std::wstring command_line, InstallerRun& run) {
  run.job.reset(CreateJobObjectW(nullptr, nullptr));
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!run.job || !SetInformationJobObject(run.job.get(), JobObjectExtendedLimitInformation,
                                           &limits, sizeof limits)) {
    return Fail(c, FailureReason::kInstallerNotStarted,
                WithError(L"installer's job cannot be made", GetLastError()));
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_FORCEOFFFEEDBACK;
  PROCESS_INFORMATION started{};
  // Suspended until it is in the job, so that nothing it starts escapes the job.
  c.log.Line(L"installer starting: " + command_line);
  if (!CreateProcessW(path.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                      CREATE_NEW_CONSOLE | HIGH_PRIORITY_CLASS | CREATE_SUSPENDED, nullptr,
                      c.work_folder.c_str(), &startup, &started)) {
    return Fail(c, FailureReason::kInstallerNotStarted,
                WithError(L"installer cannot be started", GetLastError()));
  }
  installer.reset();
  run.process.reset(started.hProcess);
  const win::UniqueHandle thread(started.hThread);
  if (!AssignProcessToJobObject(run.job.get(), run.process.get())) {
    const DWORD error = GetLastError();
    TerminateProcess(run.process.get(), 0);
    return Fail(c, FailureReason::kInstallerNotStarted,
                WithError(L"installer cannot be put in its job", error));
  }
  ResumeThread(thread.get());
  return true;
}

// Waits for the installer to end, or for the build to be cancelled: a cancel ends the installer,
// and whatever it started, through its job. True when the installer ended by itself.
bool WaitForInstaller(const ColdInstallContext& c, const InstallerRun& run) {
  const HANDLE ends[2] = {run.process.get(), c.cancel_event.get()};
  const bool cancelled =
      WaitForMultipleObjects(ends[1] ? 2 : 1, ends, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
  if (cancelled) {
    TerminateJobObject(run.job.get(), ERROR_CANCELLED);
    WaitForSingleObject(run.process.get(), INFINITE);
  }
  return !cancelled;
}

// Logs the installer's exit code and judges the stage by it: non-zero succeeds, except codes from
// 0xC0000000 up, NTSTATUS errors of an installer that crashed or was killed.
bool JudgeExitCode(ColdInstallContext& c, const InstallerRun& run) {
  DWORD exit_code = 0;
  if (!GetExitCodeProcess(run.process.get(), &exit_code)) exit_code = 0;
  wchar_t code_text[40];
  std::swprintf(code_text, 40, L"%lu (0x%08lX)", exit_code, exit_code);
  c.log.Line(std::wstring(L"installer ended: exit code ") + code_text);
  if (exit_code != 0 && exit_code < 0xC0000000) return true;
  c.failure = BuildFailure{FailureReason::kInstallerExitCode};
  c.failure.number = exit_code;
  return false;
}

}  // namespace

bool RunColdInstall(const std::shared_ptr<ColdInstallContext>& context,
                    const std::wstring& drive_root, const std::wstring& status_text) {
  context->progress.SetStatusText(status_text);
  context->progress.SetStage(progress_plan::Stage::Install);
  context->progress.ResetStageValue();
  ColdInstallContext& c = *context;
  c.log.Line(L"installer stage started");
  if (c.installer_event_taken) {
    OutputDebugStringW(L"COLDINSTALL_EVENT is held by another process: no installer run\n");
    return Fail(c, FailureReason::kAnotherBuild,
                L"installer not run: COLDINSTALL_EVENT is held by another process");
  }
  // Started before the installer, so that no early signal goes uncounted; stopped and joined on
  // every way out, after the installer has ended.
  const win::UniqueHandle monitor =
      win::SelfReleasingThread::Start(std::make_unique<InstallerMonitorThread>(context));
  const win::ScopeExit stop_monitor([&] {
    if (c.stop_event) SetEvent(c.stop_event.get());
    if (monitor) WaitForSingleObject(monitor.get(), INFINITE);
  });

  const std::wstring installer_path = c.work_folder + L"ColdInstall.exe";
  win::UniqueFile installer = OpenVerifiedInstaller(c, installer_path);
  if (!installer) return false;
  InstallerRun run;
  if (!StartInJob(c, std::move(installer), installer_path,
                  ColdInstallCommandLine(c.work_folder, drive_root), run))
    return false;
  if (!WaitForInstaller(c, run))
    return Fail(c, FailureReason::kCancelled, L"installer ended: build stopped");
  return JudgeExitCode(c, run);
}

void MonitorInstallerSignals(ColdInstallContext& context) {
  const HANDLE events[2] = {context.installer_event.get(), context.stop_event.get()};
  if (!events[0] || !events[1]) return;
  uint32_t signals = 0;
  while (WaitForSingleObject(events[1], 0) == WAIT_TIMEOUT) {
    // With both set, the wait reports the installer's event first: a last signal still counts.
    const DWORD woken = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (woken == WAIT_OBJECT_0)
      context.progress.InstallerSignalled(++signals);
    else if (woken == WAIT_FAILED)
      return;
  }
}
