// The build's last stage: run the installer "ColdInstall.exe" from the working folder with the
// chosen drive letter, wait for it, and judge the build by its exit code (non-zero is success,
// the installer's own convention). While it runs, a monitor thread counts the installer's
// signals on the named auto-reset event "COLDINSTALL_EVENT"; every signal is half a percentage
// point of the build's progress.
#pragma once

#include <memory>
#include <string>

#include "progress_record.h"
#include "self_releasing_thread.h"
#include "unique_handle.h"

// What the installer stage shares with its monitor thread. The monitor holds a reference until
// it returns, so the stage's owner may let go first (the window can close mid-install).
struct ColdInstallContext {
  std::shared_ptr<ProgressRecord> progress = std::make_shared<ProgressRecord>();
  std::wstring WorkFolder;       // ends in a backslash
  UniqueHandle ColdInstallEvent;  // "COLDINSTALL_EVENT": auto-reset, set by the installer
  UniqueHandle StopEvent;         // unnamed, manual-reset: tells the monitor to end; never reset
};

// Creates (or opens) "COLDINSTALL_EVENT" and creates the stop event; either may stay empty when
// the system refuses, and the stage then runs without counting signals.
void CreateInstallerEvents(ColdInstallContext& context);

// "<WorkFolder>ColdInstall.exe" /S /P<letter>:  (quoted path; no space between /P and letter).
std::wstring ColdInstallCommandLine(const std::wstring& workFolder, const std::wstring& driveLetter);

// The installer stage on the worker thread: shows `statusText`, starts the progress stage with
// weight 0.5, starts the monitor, runs the installer and waits for it without a time limit,
// then stops the monitor. True when the installer ran and exited with a non-zero code.
bool RunColdInstall(const std::shared_ptr<ColdInstallContext>& context,
                    const std::wstring& driveLetter, const std::wstring& statusText);

// The monitor: counts signals of ColdInstallEvent into the progress until StopEvent is set.
// Returns at once when either event is missing, and when waiting fails, rather than spin.
void ColdInstallerProgress(ColdInstallContext& context);

// The monitor's thread object: holds the context until ColdInstallerProgress returns.
class TThread_ThreadColdInstallerProgress : public SelfReleasingThread {
 public:
  explicit TThread_ThreadColdInstallerProgress(std::shared_ptr<ColdInstallContext> context)
      : context_(std::move(context)) {}

 protected:
  void Execute() override { ColdInstallerProgress(*context_); }

 private:
  std::shared_ptr<ColdInstallContext> context_;
};
