#include "install_worker.h"

#include "DownloadWrapper.h"
#include "unpack/unpack_archive.h"
#include "wizard_ids.h"
#include "work_folder.h"

namespace {

constexpr float kDownloadWeight = 0.125f;
const wchar_t* const kArchives[] = {L"scanner.zip", L"system.zip"};

// The build setting arrives as a narrow literal; joined to L"" it becomes a wide one.
constexpr const wchar_t* kServerHost = L"" RESCUE_SERVER_HOST;

}  // namespace

InstallThreadStarter StartInstallThread = &SelfReleasingThread::Start;

std::shared_ptr<InstallJob> CreateInstallJob(std::shared_ptr<ProgressRecord> progress) {
  auto job = std::make_shared<InstallJob>();
  job->progress = std::move(progress);
  job->WorkFolder = WorkFolderPath();
  // Whatever an earlier run left behind goes first.
  ResetWorkFolder(job->WorkFolder);
  CreateDirectoryW(job->WorkFolder.c_str(), nullptr);
  CreateInstallerEvents(*job);
  return job;
}

std::wstring RescueDiskUrl(const std::wstring& name) {
  return std::wstring(L"http://") + kServerHost + L"/tovixscourlet/rescuedisk/" + name;
}

bool DownloadArchives(InstallJob& job) {
  ProgressRecord& progress = *job.progress;
  progress.BeginStage(kDownloadWeight);
  DownloadWrapper wrapper;
  wrapper.Start(job.window);
  bool ok = true;
  for (const wchar_t* name : kArchives) {
    progress.ResetStageValue();
    const std::wstring url = RescueDiskUrl(name);
    const std::wstring file = job.WorkFolder + name;
    ok = wrapper.Download(url.c_str(), file.c_str(), &ProgressRecord::DownloadProgress, &progress);
    if (!ok) break;
  }
  wrapper.Stop();
  return ok;
}

bool UnpackArchives(InstallJob& job) {
  ProgressRecord& progress = *job.progress;
  progress.SetStatusText(job.InstallingText);
  progress.ResetStageValue();
  UrarLibrary library;
  if (!LoadUrarLibrary(library, job.WorkFolder)) return false;
  bool ok = UnpackArchive(library, job.WorkFolder + kArchives[0], job.WorkFolder);
  progress.AddStageProgress(13);
  if (ok) {
    ok = UnpackArchive(library, job.WorkFolder + kArchives[1], job.WorkFolder);
    progress.AddStageProgress(25);
  }
  FreeUrarLibrary(library);
  return ok;
}

void DoInstall(const std::shared_ptr<InstallJob>& job) {
  const bool ok = DownloadArchives(*job) && UnpackArchives(*job) &&
                  RunColdInstall(job, job->DriveLetter, job->InstallingText);
  // Posting to a window that has closed meanwhile fails harmlessly.
  PostMessageW(job->window, WM_WIZARD_SETSTATE, ok ? USBFinishOK : USBFinishError, 0);
}
