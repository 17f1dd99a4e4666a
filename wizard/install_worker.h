// The install worker: downloads both archives, unpacks them into the working folder and runs
// the installer, each stage only when the one before it succeeded, then asks the main window
// for the finish page (message 1025: state 3 on success, state 4 on failure).
//
// Everything the worker needs is in its InstallJob, taken on the window thread before the
// worker starts; the worker never touches the window's objects. The progress page, the worker
// and the installer monitor share the job, and the last one to let go frees it, so closing the
// window mid-build leaves the running threads with valid state until they end.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "cold_installer.h"
#include "self_releasing_thread.h"

struct InstallJob : ColdInstallContext {
  HWND window = nullptr;         // owns the download engine's dialogs; receives the result
  std::wstring DriveLetter;      // the drive list's selection, e.g. "E"
  std::wstring InstallingText;   // translated status text of the unpack and installer stages
};

// A job for this program run: the working folder (emptied and created again) and both events.
std::shared_ptr<InstallJob> CreateInstallJob(std::shared_ptr<ProgressRecord> progress);

// "http://<rescue-disk server>/tovixscourlet/rescuedisk/<name>". The server is a build setting.
std::wstring RescueDiskUrl(const std::wstring& name);

// Stage 1: "scanner.zip", then (only after it succeeded) "system.zip" into the working folder.
bool DownloadArchives(InstallJob& job);
// Stage 2: binds the library from the working folder and unpacks both archives into it.
bool UnpackArchives(InstallJob& job);
// The three stages in order, then the posted result.
void DoInstall(const std::shared_ptr<InstallJob>& job);

// How the progress page starts its worker: SelfReleasingThread::Start. Tests of the page that
// must not run a build put a starter of their own here.
using InstallThreadStarter = bool (*)(std::unique_ptr<SelfReleasingThread> thread);
extern InstallThreadStarter StartInstallThread;

// The worker's thread object: created with the progress state, started when the page is entered.
class TThread_ThreadDoInstall : public SelfReleasingThread {
 public:
  explicit TThread_ThreadDoInstall(std::shared_ptr<InstallJob> job) : job_(std::move(job)) {}

 protected:
  void Execute() override { DoInstall(job_); }

 private:
  std::shared_ptr<InstallJob> job_;
};
