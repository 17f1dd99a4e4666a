// The build's last stage: run the installer "ColdInstall.exe" from the working folder, only when
// its signature and signer check out (installer_signature.h), with the chosen drive on its
// command line, wait for it, and judge the build by its exit code (non-zero is success, the
// installer's own convention, except NTSTATUS errors from 0xC0000000 up: a crash or a kill).
// While it runs, a monitor thread counts the installer's signals on the named auto-reset event
// "COLDINSTALL_EVENT" into the progress record (progress_plan.h: half a point each).
#pragma once

#include <memory>
#include <string>

#include "builder/build_failure.h"
#include "builder/build_log.h"
#include "builder/progress_record.h"
#include "win/self_releasing_thread.h"
#include "win/unique_resource.h"

// What the installer stage shares with its monitor thread. The monitor holds a reference until
// it returns, so the stage's owner may let go first (the window can close mid-install).
struct ColdInstallContext {
  ProgressRecord progress;
  std::wstring work_folder;           // ends in a backslash
  win::UniqueHandle installer_event;  // "COLDINSTALL_EVENT": auto-reset, set by the installer
  win::UniqueHandle stop_event;    // unnamed, manual-reset: tells the monitor to end; never reset
  win::UniqueHandle cancel_event;  // unnamed, manual-reset: the build is abandoned; never reset
  bool installer_event_taken = false;  // "COLDINSTALL_EVENT" existed already: the stage fails
  // Written by the stage on the worker thread (never by the monitor): its events, and why it
  // failed. The finish page reads the failure once the worker has posted its result.
  BuildLog log;
  BuildFailure failure;
};

// Creates "COLDINSTALL_EVENT", the stop event and the cancel event; any may stay empty when the
// system refuses: the stage then runs without counting signals, or cannot be cancelled. When the
// named event exists already (another process holds it), it is not opened: installer_event_taken
// is set and the stage fails.
void CreateInstallerEvents(ColdInstallContext& context);

// "<work folder>ColdInstall.exe" /S /P<drive name>: the quoted path, then the drive's name ("E:")
// with no space after /P.
std::wstring ColdInstallCommandLine(const std::wstring& work_folder,
                                    const std::wstring& drive_root);

// The installer stage on the worker thread: shows `status_text`, starts the stage's progress from
// 0, starts the monitor, runs the installer for the drive with root `drive_root` (in the working
// folder as its current folder, inheriting no handle of the wizard's) and waits for it
// without a time limit, or until the cancel event is set (the installer's job is then
// terminated), then stops the monitor and joins it. True when the installer was signed by a
// pinned signer, ran and exited with a non-zero code below 0xC0000000 without being cancelled;
// false at once when another process held the installer's event. Logs the signature's verdict,
// the command line and the exit code; a failure is named in the context's `failure`.
bool RunColdInstall(const std::shared_ptr<ColdInstallContext>& context,
                    const std::wstring& drive_root, const std::wstring& status_text);

// The monitor: counts signals of the installer's event into the progress until the stop event is
// set. Returns at once when either event is missing, and when waiting fails, rather than spin.
void MonitorInstallerSignals(ColdInstallContext& context);

// The monitor's thread: holds the context until MonitorInstallerSignals returns.
class InstallerMonitorThread : public win::SelfReleasingThread {
 public:
  explicit InstallerMonitorThread(std::shared_ptr<ColdInstallContext> context)
      : context_(std::move(context)) {}

 protected:
  void Execute() override { MonitorInstallerSignals(*context_); }

 private:
  std::shared_ptr<ColdInstallContext> context_;
};
