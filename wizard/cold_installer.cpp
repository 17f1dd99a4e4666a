#include "cold_installer.h"

void CreateInstallerEvents(ColdInstallContext& context) {
  context.ColdInstallEvent.reset(CreateEventW(nullptr, FALSE, FALSE, L"COLDINSTALL_EVENT"));
  context.StopEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

std::wstring ColdInstallCommandLine(const std::wstring& workFolder, const std::wstring& driveLetter) {
  return L"\"" + workFolder + L"ColdInstall.exe\" /S /P" + driveLetter + L":";
}

bool RunColdInstall(const std::shared_ptr<ColdInstallContext>& context,
                    const std::wstring& driveLetter, const std::wstring& statusText) {
  ProgressRecord& progress = *context->progress;
  progress.SetStatusText(statusText);
  progress.BeginStage(0.5f);
  // Started before the installer, so that no early signal goes uncounted.
  SelfReleasingThread::Start(std::make_unique<TThread_ThreadColdInstallerProgress>(context));
  auto stopMonitor = [&] {
    if (context->StopEvent) SetEvent(context->StopEvent.get());
  };

  std::wstring commandLine = ColdInstallCommandLine(context->WorkFolder, driveLetter);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_FORCEOFFFEEDBACK;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                      CREATE_NEW_CONSOLE | HIGH_PRIORITY_CLASS, nullptr, nullptr, &startup,
                      &started)) {
    stopMonitor();
    return false;
  }
  UniqueHandle process(started.hProcess);
  UniqueHandle thread(started.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  stopMonitor();
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(process.get(), &exitCode)) exitCode = 0;
  return exitCode != 0;
}

void ColdInstallerProgress(ColdInstallContext& context) {
  const HANDLE events[2] = {context.ColdInstallEvent.get(), context.StopEvent.get()};
  if (!events[0] || !events[1]) return;
  uint32_t signals = 0;
  while (WaitForSingleObject(events[1], 0) == WAIT_TIMEOUT) {
    // With both set, the wait reports the installer's event first: a last signal still counts.
    const DWORD woken = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (woken == WAIT_OBJECT_0)
      context.progress->InstallerSignalled(++signals);
    else if (woken == WAIT_FAILED)
      return;
  }
}
