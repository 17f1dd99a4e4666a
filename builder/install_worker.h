// The install worker: downloads both archives, unpacks them into the working folder and runs the
// installer, each stage only when the one before it succeeded, then says how the build ended
// through the job's `finished` callback, which the progress page hands it.
//
// Everything the worker needs is in its InstallJob, filled on the window thread before the worker
// starts; the worker never touches the window's objects. The progress page, the worker and the
// installer monitor share the job, and the last one to let go frees it. A close mid-build
// cancels the job (CancelInstall) and joins the worker before the window goes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "builder/cold_installer.h"
#include "download/download_engine.h"

struct InstallJob : ColdInstallContext {
  win::UniqueFile work_folder_held;  // the folder as made for this job, open without delete sharing
  bool work_folder_ready = false;    // made afresh
  bool library_ready = false;        // the extraction library written into it
  HWND window = nullptr;             // owns the download engine's dialogs
  // The download stage's engine while it runs, for CancelInstall to shut down.
  std::mutex downloads_lock;
  std::shared_ptr<DownloadEngine> downloads;
  // Called once, on the worker's thread, as the worker's last act: true when all three stages
  // succeeded. The page flow hands it in; the builder knows nothing of pages.
  std::function<void(bool succeeded)> finished;
  std::wstring drive_root;       // the drive chosen in the list, e.g. "E:\"
  std::wstring installing_text;  // translated status text of the unpack and installer stages
  std::wstring log_folder;       // where the worker writes the build's log (build_log.h)
  // The release of the manifest the archives matched; recorded as this computer's accepted
  // release (accepted_release.h) once the build succeeded. 0 when the build takes no manifest.
  std::uint32_t release = 0;
};

// Where the progress page builds and how it starts its worker. The program builds in a new
// working folder for each build (work_folder.h) on a thread of its own (ProgramBuildSettings);
// tests choose a folder of their own and may keep the job instead of running it. start_worker
// returns the worker's thread to join, empty when nothing runs.
struct BuildSettings {
  // The working folder of the next build; ends in a backslash. Each build makes it afresh.
  std::function<std::wstring()> work_folder;
  std::function<win::UniqueHandle(std::shared_ptr<InstallJob>)> start_worker;
  std::wstring log_folder;  // ends in a backslash; made afresh by each build; empty: no log
};
BuildSettings ProgramBuildSettings();

// A job for one build in `work_folder` (made afresh: work_folder.h) with both events.
std::shared_ptr<InstallJob> CreateInstallJob(const std::wstring& work_folder);

// "<rescue-disk server>/tovixscourlet/rescuedisk/<name>". The server (scheme, host, port) is a
// build setting; over https:// the certificate is checked in full.
std::wstring RescueDiskUrl(const std::wstring& name);

// Each stage logs what it does and, when it fails, names the failure in the job's `failure`.
// Stage 1: the signed manifest "rescuedisk.manifest" and its signature
// "rescuedisk.manifest.p7s" (unless the build does not require them), then "scanner.zip" and
// (only after it succeeded) "system.zip" into the working folder, each after a check that its
// volume has room for the size the manifest gives and checked against that size and SHA-256
// once downloaded.
bool DownloadArchives(InstallJob& job);
// Stage 2: binds the library from the working folder and unpacks both archives into it.
bool UnpackArchives(InstallJob& job);
// Opens the build's log, runs the three stages in order, none when the working folder or the
// library in it is not ready, logs the result and reports it through `finished`. A cancelled build
// stops at the next stage boundary and fails.
void DoInstall(const std::shared_ptr<InstallJob>& job);

// Abandons the build from another thread: sets the job's cancel event, which the stages check
// between archives and the installer stage waits on, and shuts the job's download engine down,
// which ends a running download.
void CancelInstall(InstallJob& job);
