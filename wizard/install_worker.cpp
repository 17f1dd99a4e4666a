#include "install_worker.h"

#include <iterator>

#include "download_wrapper.h"
#include "progress_plan.h"
#include "state_request.h"
#include "unpack/unpack_archive.h"
#include "win/resource.h"
#include "work_folder.h"

namespace {

bool Cancelled(const InstallJob& job) {
  return job.cancel_event && WaitForSingleObject(job.cancel_event.get(), 0) == WAIT_OBJECT_0;
}

const wchar_t* const kArchiveNames[] = {L"scanner.zip", L"system.zip"};
static_assert(std::size(kArchiveNames) == progress_plan::kArchives);

// The build setting arrives as a narrow literal; joined to L"" it becomes a wide one.
constexpr const wchar_t* kServerBase = L"" RESCUE_SERVER_BASE;

class InstallWorkerThread : public win::SelfReleasingThread {
 public:
  explicit InstallWorkerThread(std::shared_ptr<InstallJob> job) : job_(std::move(job)) {}

 protected:
  void Execute() override { DoInstall(job_); }

 private:
  std::shared_ptr<InstallJob> job_;
};

}  // namespace

BuildSettings ProgramBuildSettings() {
  return {WorkFolderPath(), [](std::shared_ptr<InstallJob> job) {
            return win::SelfReleasingThread::Start(
                std::make_unique<InstallWorkerThread>(std::move(job)));
          }};
}

std::shared_ptr<InstallJob> CreateInstallJob(const std::wstring& work_folder) {
  auto job = std::make_shared<InstallJob>();
  job->work_folder = work_folder;
  // Whatever an earlier run (or anyone else) left at the path goes first.
  job->work_folder_held = CreateWorkFolder(job->work_folder);
  job->work_folder_ready = static_cast<bool>(job->work_folder_held);
  CreateInstallerEvents(*job);
  return job;
}

std::wstring RescueDiskUrl(const std::wstring& name) {
  return kServerBase + std::wstring(L"/tovixscourlet/rescuedisk/") + name;
}

bool DownloadArchives(InstallJob& job) {
  DownloadWrapper wrapper;
  wrapper.Start(job.window);
  bool ok = true;
  for (const wchar_t* name : kArchiveNames) {
    // Checked after the engine started: a cancel that shut it down before would be undone.
    ok = !Cancelled(job);
    if (!ok) break;
    job.progress.ResetStageValue();
    const std::wstring url = RescueDiskUrl(name);
    const std::wstring file = job.work_folder + name;
    ok = wrapper.Download(url.c_str(), file.c_str(), &ProgressRecord::DownloadProgress,
                          &job.progress);
    if (!ok) break;
  }
  wrapper.Stop();
  return ok;
}

bool UnpackArchives(InstallJob& job) {
  job.progress.SetStatusText(job.installing_text);
  job.progress.ResetStageValue();
  UrarLibrary library;
  if (!LoadUrarLibrary(library, job.work_folder, win::ResourceBytes(nullptr, L"URAR")))
    return false;
  bool ok = true;
  uint32_t unpacked = 0;
  for (const wchar_t* name : kArchiveNames) {
    ok = !Cancelled(job) && UnpackArchive(library, job.work_folder + name, job.work_folder);
    // Counted whether or not it worked: a failed archive's share shows until the error page.
    job.progress.ArchivesUnpacked(++unpacked);
    if (!ok) break;
  }
  FreeUrarLibrary(library);
  return ok;
}

void DoInstall(const std::shared_ptr<InstallJob>& job) {
  const bool ok = job->work_folder_ready && DownloadArchives(*job) && !Cancelled(*job) &&
                  UnpackArchives(*job) && !Cancelled(*job) &&
                  RunColdInstall(job, job->drive_root, job->installing_text);
  RequestState(job->window, ok ? WizardState::FinishedOk : WizardState::FinishedError);
}

void CancelInstall(InstallJob& job) {
  SetEvent(job.cancel_event.get());
  DownloadWrapper().Stop();
}
