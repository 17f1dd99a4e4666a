#include "builder/install_worker.h"

#include <iterator>

#include "download/download_wrapper.h"
#include "builder/progress_plan.h"
#include "builder/removable_drives.h"
#include "builder/stage_outcomes.h"
#include "unpack/unpack_archive.h"
#include "win/resource.h"
#include "builder/work_folder.h"

namespace {

bool Cancelled(const InstallJob& job) {
  return job.cancel_event && WaitForSingleObject(job.cancel_event.get(), 0) == WAIT_OBJECT_0;
}

// Cancelled() that also names the failure.
bool StopIfCancelled(InstallJob& job) {
  if (!Cancelled(job)) return false;
  job.failure = BuildFailure{FailureReason::kCancelled};
  job.log.Line(L"build stopped by the user");
  return true;
}

bool Fail(InstallJob& job, BuildFailure failure) {
  job.failure = std::move(failure);
  return false;
}

std::wstring Seconds(ULONGLONG milliseconds) {
  return std::to_wstring(milliseconds / 1000) + L"." + std::to_wstring(milliseconds % 1000 / 100) +
         L" s";
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
  return {WorkFolderPath(),
          [](std::shared_ptr<InstallJob> job) {
            return win::SelfReleasingThread::Start(
                std::make_unique<InstallWorkerThread>(std::move(job)));
          },
          BuildLogFolderPath()};
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
  job.log.Line(L"download stage started");
  DownloadWrapper wrapper;
  wrapper.Start(job.window);
  bool ok = true;
  for (const wchar_t* name : kArchiveNames) {
    // Checked after the engine started: a cancel that shut it down before would be undone.
    ok = !StopIfCancelled(job);
    if (!ok) break;
    job.progress.ResetStageValue();
    const std::wstring url = RescueDiskUrl(name);
    const std::wstring file = job.work_folder + name;
    job.log.Line(L"download started: " + url);
    const ULONGLONG started = GetTickCount64();
    DownloadOutcome outcome;
    ok = wrapper.Download(url.c_str(), file.c_str(), &ProgressRecord::DownloadProgress,
                          &job.progress, &outcome);
    job.log.Line(std::wstring(ok ? L"download ended: " : L"download failed: ") + url + L": " +
                 DownloadOutcomeText(ok ? DownloadFailure::None : outcome.failure) +
                 L", HTTP status " + std::to_wstring(outcome.http_status) + L", " +
                 std::to_wstring(outcome.bytes_received) + L" bytes received of " +
                 std::to_wstring(outcome.content_length) + L" announced, error " +
                 std::to_wstring(outcome.error) + L", resumes " + std::to_wstring(outcome.resumes) +
                 (outcome.restarted ? L" (started over once), " : L", ") +
                 Seconds(GetTickCount64() - started));
    if (!ok) {
      Fail(job, DownloadFailureOf(outcome, name));
      break;
    }
  }
  wrapper.Stop();
  job.log.Line(ok ? L"download stage ended" : L"download stage failed");
  return ok;
}

bool UnpackArchives(InstallJob& job) {
  job.progress.SetStatusText(job.installing_text);
  job.progress.ResetStageValue();
  job.log.Line(L"unpack stage started");
  UrarLibrary library;
  if (!LoadUrarLibrary(library, job.work_folder, win::ResourceBytes(nullptr, L"URAR"))) {
    job.log.Line(L"unpack stage failed: the extraction library could not be loaded");
    return Fail(job, BuildFailure{FailureReason::kLibrary});
  }
  ULARGE_INTEGER available{};
  if (GetDiskFreeSpaceExW(job.work_folder.c_str(), &available, nullptr, nullptr))
    job.log.Line(L"free space: " + std::to_wstring(available.QuadPart) + L" bytes on " +
                 VolumeOf(job.work_folder));
  bool ok = true;
  uint32_t unpacked = 0;
  for (const wchar_t* name : kArchiveNames) {
    ok = !StopIfCancelled(job);
    if (!ok) break;
    job.log.Line(std::wstring(L"unpacking started: ") + name);
    UnpackReport report;
    uint64_t entries = 0;
    ok = UnpackArchive(library, job.work_folder + name, job.work_folder, &report,
                       [&](const std::wstring& entry, uint64_t size) {
                         ++entries;
                         job.log.Line(L"unpacked: " + entry + L" (" + std::to_wstring(size) +
                                      L" bytes)");
                       },
                       [&] { return Cancelled(job); });
    // Counted whether or not it worked: a failed archive's share shows until the error page.
    job.progress.ArchivesUnpacked(++unpacked);
    if (!ok) {
      std::wstring line = std::wstring(L"unpacking failed: ") + name + L": " +
                          UnpackProblemText(report.problem);
      if (!report.entry.empty()) line += L": " + report.entry;
      if (report.libraryCode) line += L", library code " + std::to_wstring(report.libraryCode);
      if (report.problem == UnpackProblem::kNotEnoughSpace)
        line += L", " + std::to_wstring(report.neededBytes) + L" bytes needed, " +
                std::to_wstring(report.freeBytes) + L" free";
      job.log.Line(line);
      if (report.problem == UnpackProblem::kCancelled) job.log.Line(L"build stopped by the user");
      Fail(job, UnpackFailureOf(report, name, VolumeOf(job.work_folder)));
      break;
    }
    job.log.Line(std::wstring(L"unpacking ended: ") + name + L", " + std::to_wstring(entries) +
                 L" entries");
  }
  FreeUrarLibrary(library);
  job.log.Line(ok ? L"unpack stage ended" : L"unpack stage failed");
  return ok;
}

void DoInstall(const std::shared_ptr<InstallJob>& job) {
  InstallJob& j = *job;
  j.log = BuildLog(j.log_folder);
  j.log.Line(L"build started: drive " + DriveName(j.drive_root) + L", working folder " +
             j.work_folder + L", server " + kServerBase);
  if (!j.work_folder_ready) {
    j.log.Line(L"the working folder could not be made, or the library not written into it");
    Fail(j, BuildFailure{FailureReason::kWorkFolder});
  }
  const bool ok = j.work_folder_ready && DownloadArchives(j) && !StopIfCancelled(j) &&
                  UnpackArchives(j) && !StopIfCancelled(j) &&
                  RunColdInstall(job, j.drive_root, j.installing_text);
  j.log.Line(ok ? std::wstring(L"build succeeded")
                : L"build failed: " + FailureLine(j.failure, [](const wchar_t* key) {
                    return std::wstring(key);
                  }));
  if (j.finished) j.finished(ok);
}

void CancelInstall(InstallJob& job) {
  SetEvent(job.cancel_event.get());
  DownloadWrapper().Stop();
}
