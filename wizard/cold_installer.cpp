#include "cold_installer.h"

#include "installer_signature.h"
#include "removable_drives.h"

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

bool RunColdInstall(const std::shared_ptr<ColdInstallContext>& context,
                    const std::wstring& drive_root, const std::wstring& status_text) {
  context->progress.SetStatusText(status_text);
  context->progress.ResetStageValue();
  if (context->installer_event_taken) {
    OutputDebugStringW(L"COLDINSTALL_EVENT is held by another process: no installer run\n");
    return false;
  }
  // Started before the installer, so that no early signal goes uncounted; joined on every way out.
  const win::UniqueHandle monitor =
      win::SelfReleasingThread::Start(std::make_unique<InstallerMonitorThread>(context));
  auto stop_monitor = [&] {
    if (context->stop_event) SetEvent(context->stop_event.get());
    if (monitor) WaitForSingleObject(monitor.get(), INFINITE);
  };

  // Held without write or delete sharing from the check until the process has started, so the
  // file that starts is the file that was checked.
  const std::wstring installer_path = context->work_folder + L"ColdInstall.exe";
  win::UniqueFile installer(CreateFileW(installer_path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!installer ||
      CheckInstallerSignature(installer.get(), installer_path) != SignatureCheck::kTrusted) {
    stop_monitor();
    return false;
  }
  // The installer runs in a job that ends it when the job's last handle closes: at the latest
  // when this process ends, so an elevated installer never outlives the wizard.
  const win::UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!job || !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits,
                                       sizeof limits)) {
    stop_monitor();
    return false;
  }
  std::wstring command_line = ColdInstallCommandLine(context->work_folder, drive_root);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_FORCEOFFFEEDBACK;
  PROCESS_INFORMATION started{};
  // Suspended until it is in the job, so that nothing it starts escapes the job.
  if (!CreateProcessW(installer_path.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                      CREATE_NEW_CONSOLE | HIGH_PRIORITY_CLASS | CREATE_SUSPENDED, nullptr,
                      nullptr, &startup, &started)) {
    stop_monitor();
    return false;
  }
  installer.reset();
  const win::UniqueHandle process(started.hProcess);
  const win::UniqueHandle thread(started.hThread);
  if (!AssignProcessToJobObject(job.get(), process.get())) {
    TerminateProcess(process.get(), 0);
    stop_monitor();
    return false;
  }
  ResumeThread(thread.get());
  const HANDLE ends[2] = {process.get(), context->cancel_event.get()};
  const bool cancelled =
      WaitForMultipleObjects(ends[1] ? 2 : 1, ends, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
  if (cancelled) {
    // A cancelled build ends the installer, and whatever it started, through the job.
    TerminateJobObject(job.get(), ERROR_CANCELLED);
    WaitForSingleObject(process.get(), INFINITE);
  }
  stop_monitor();
  if (cancelled) return false;
  DWORD exit_code = 0;
  if (!GetExitCodeProcess(process.get(), &exit_code)) exit_code = 0;
  // Codes from 0xC0000000 up are NTSTATUS errors: the installer crashed or was killed.
  return exit_code != 0 && exit_code < 0xC0000000;
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
