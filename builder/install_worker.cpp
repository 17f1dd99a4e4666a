#include "builder/install_worker.h"

#include <cwchar>
#include <iterator>

#include "builder/accepted_release.h"
#include "builder/downloaded_file.h"
#include "builder/manifest_signature.h"
#include "builder/rescue_manifest.h"
#include "builder/progress_plan.h"
#include "builder/removable_drives.h"
#include "builder/stage_outcomes.h"
#include "unpack/unpack_archive.h"
#include "urar/urar.h"
#include "win/resource.h"
#include "win/text.h"
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
constexpr bool kManifestRequired = RESCUE_MANIFEST_REQUIRED;
constexpr const wchar_t kManifestName[] = L"rescuedisk.manifest";
constexpr const wchar_t kSignatureName[] = L"rescuedisk.manifest.p7s";

// The archives' names are ASCII (kArchiveNames).
std::string Narrow(const wchar_t* name) { return std::string(name, name + std::wcslen(name)); }
std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// Downloads `name` from the rescue-disk folder into the working folder, accepting no more than
// `max_length` bytes, and logs the outcome; names the failure.
bool DownloadFile(InstallJob& job, DownloadEngine& engine, const wchar_t* name,
                  std::uint64_t max_length, const DownloadProgressCallback& progress) {
  const std::wstring url = RescueDiskUrl(name);
  const std::wstring file = job.work_folder + name;
  job.log.Line(L"download started: " + url + L", at most " + std::to_wstring(max_length) +
               L" bytes");
  const ULONGLONG started = GetTickCount64();
  DownloadOutcome outcome;
  const bool ok = engine.Download(url.c_str(), file.c_str(), progress, &outcome,
                                  {max_length, DownloadEngine::kStallLimitMs});
  job.log.Line(std::wstring(ok ? L"download ended: " : L"download failed: ") + url + L": " +
               DownloadOutcomeText(ok ? DownloadFailure::None : outcome.failure) +
               L", HTTP status " + std::to_wstring(outcome.http_status) + L", " +
               std::to_wstring(outcome.bytes_received) + L" bytes received of " +
               std::to_wstring(outcome.content_length) + L" announced, error " +
               std::to_wstring(outcome.error) + L", resumes " + std::to_wstring(outcome.resumes) +
               (outcome.restarted ? L" (started over once), " : L", ") +
               Seconds(GetTickCount64() - started));
  if (!ok) Fail(job, DownloadFailureOf(outcome, name));
  return ok;
}

bool NotAuthentic(InstallJob& job, const wchar_t* file, const std::wstring& why) {
  job.log.Line(std::wstring(L"not authentic: ") + file + L": " + why);
  return Fail(job, BuildFailure{FailureReason::kNotAuthentic, file});
}

// Downloads the manifest and its signature and accepts the manifest when the signature is a
// pinned signer's, it lists both archives and its release is not lower than the one this
// computer already used; names the failure otherwise.
bool FetchManifest(InstallJob& job, DownloadEngine& engine, rescue_manifest::Manifest* manifest) {
  const struct {
    const wchar_t* name;
    std::uint64_t max_length;
  } files[] = {{kManifestName, rescue_manifest::kMaxBytes},
               {kSignatureName, rescue_manifest::kMaxSignatureBytes}};
  for (const auto& [name, max_length] : files) {
    if (DownloadFile(job, engine, name, max_length, nullptr)) continue;
    // A server that refuses them has no signed manifest to offer: the archives cannot be
    // told from anyone else's. (An unreachable server or a broken download keeps its reason.)
    if (job.failure.reason == FailureReason::kHttpStatus)
      return NotAuthentic(job, name, L"the server has none");
    return false;
  }
  std::string text, signature;
  if (!ReadSmallFile(job.work_folder + kManifestName, rescue_manifest::kMaxBytes, &text))
    return NotAuthentic(
        job, kManifestName,
        L"unreadable, or over " + std::to_wstring(rescue_manifest::kMaxBytes) + L" bytes");
  if (!ReadSmallFile(job.work_folder + kSignatureName, rescue_manifest::kMaxSignatureBytes,
                     &signature))
    return NotAuthentic(
        job, kSignatureName,
        L"unreadable, or over " + std::to_wstring(rescue_manifest::kMaxSignatureBytes) + L" bytes");
  switch (CheckDetachedSignature(text, signature, PinnedSigners())) {
    case SignatureCheck::kTrusted: job.log.Line(L"manifest signature: trusted"); break;
    case SignatureCheck::kOtherSigner:
      return NotAuthentic(job, kManifestName, L"signed by a signer that is not pinned");
    case SignatureCheck::kNotTrusted:
      return NotAuthentic(job, kManifestName, L"the signature does not verify");
  }
  std::string problem;
  if (!rescue_manifest::Parse(text, manifest, &problem))
    return NotAuthentic(job, kManifestName, L"not a manifest: " + Widen(problem));
  for (const wchar_t* name : kArchiveNames)
    if (!manifest->Find(Narrow(name)))
      return NotAuthentic(job, kManifestName, std::wstring(L"lists no ") + name);
  const std::uint32_t accepted = AcceptedRelease();
  job.log.Line(L"manifest: release " + std::to_wstring(manifest->release) + L" of " +
               Widen(manifest->date) + L", highest accepted on this computer " +
               std::to_wstring(accepted));
  if (manifest->release < accepted) {
    job.log.Line(L"manifest refused: an older release than this computer already used");
    return Fail(job, BuildFailure{FailureReason::kOlderRelease});
  }
  return true;
}

// Whether the working folder's volume has room for `size` bytes of `name`; names the failure.
bool HasRoomFor(InstallJob& job, const wchar_t* name, std::uint64_t size) {
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW(job.work_folder.c_str(), &available, nullptr, nullptr))
    return true;  // the system does not say: the download's own write failure will tell
  const std::wstring volume = VolumeOf(job.work_folder);
  job.log.Line(L"free space before " + std::wstring(name) + L": " +
               std::to_wstring(available.QuadPart) + L" bytes on " + volume + L", " +
               std::to_wstring(size) + L" needed");
  if (available.QuadPart >= size) return true;
  BuildFailure failure{FailureReason::kNotEnoughSpace};
  failure.volume = volume;
  return Fail(job, failure);
}

// Whether the downloaded `name` (the whole file, however many attempts wrote it) has the size
// and SHA-256 the manifest gives; names the failure.
bool MatchesManifest(InstallJob& job, const wchar_t* name, const rescue_manifest::File& listed) {
  std::uint64_t size = 0;
  rescue_manifest::Sha256 digest{};
  if (!FileSizeAndSha256(job.work_folder + name, &size, &digest))
    return NotAuthentic(job, name, L"the downloaded file cannot be read");
  const std::wstring found =
      std::to_wstring(size) + L" bytes, SHA-256 " + Widen(rescue_manifest::Hex(digest));
  if (size != listed.size || digest != listed.sha256)
    return NotAuthentic(job, name,
                        found + L", the manifest gives " + std::to_wstring(listed.size) +
                            L" bytes, SHA-256 " + Widen(rescue_manifest::Hex(listed.sha256)));
  job.log.Line(std::wstring(L"archive matches the manifest: ") + name + L": " + found);
  return true;
}

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
  return {WorkFolderPath,
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
  job.progress.SetStage(progress_plan::Stage::Download);
  job.log.Line(L"download stage started");
  auto engine = std::make_shared<DownloadEngine>(job.window, ManualProxyConfigured());
  {
    std::lock_guard<std::mutex> guard(job.downloads_lock);
    job.downloads = engine;
  }
  rescue_manifest::Manifest manifest;
  // Checked after the engine was handed to the job: a cancel before that is seen here, one
  // after it shuts this engine down.
  bool ok = !StopIfCancelled(job) && (!kManifestRequired || FetchManifest(job, *engine, &manifest));
  if (ok && !kManifestRequired)
    job.log.Line(L"manifest: not required by this build; the archives are taken unchecked");
  for (const wchar_t* name : kArchiveNames) {
    ok = ok && !StopIfCancelled(job);
    if (!ok) break;
    job.progress.ResetStageValue();
    job.progress.DownloadStarted();
    // Null when the build takes no manifest.
    const rescue_manifest::File* listed = manifest.Find(Narrow(name));
    ok = (!listed || HasRoomFor(job, name, listed->size)) &&
         DownloadFile(job, *engine, name, listed ? listed->size : DownloadEngine::kMaxLength,
                      [&job](const DownloadProgress& progress) {
                        job.progress.DownloadProgressed(progress.expected, progress.received,
                                                        progress.resume_try);
                      }) &&
         (!listed || MatchesManifest(job, name, *listed));
  }
  {
    std::lock_guard<std::mutex> guard(job.downloads_lock);
    job.downloads.reset();
  }
  engine->Shutdown();
  if (ok) job.release = manifest.release;
  job.log.Line(ok ? L"download stage ended" : L"download stage failed");
  return ok;
}

bool UnpackArchives(InstallJob& job) {
  job.progress.SetStatusText(job.installing_text);
  job.progress.SetStage(progress_plan::Stage::Unpack);
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
  // The files the program writes itself; no entry of either archive may stand for one of them.
  FolderNames names;
  names.Claim(kUrarLibraryFile);
  for (const wchar_t* name : kArchiveNames) names.Claim(name);
  for (const wchar_t* name : kArchiveNames) {
    ok = !StopIfCancelled(job);
    if (!ok) break;
    job.log.Line(std::wstring(L"unpacking started: ") + name);
    UnpackReport report;
    uint64_t entries = 0;
    ok = UnpackArchive(
        library, job.work_folder + name, job.work_folder, &report,
        [&](const std::wstring& entry, uint64_t size) {
          ++entries;
          job.log.Line(L"unpacked: " + entry + L" (" + std::to_wstring(size) + L" bytes)");
        },
        &names, [&] { return Cancelled(job); });
    // Counted whether or not it worked: a failed archive's share shows until the error page.
    job.progress.ArchivesUnpacked(++unpacked);
    if (!ok) {
      std::wstring line =
          std::wstring(L"unpacking failed: ") + name + L": " + UnpackProblemText(report.problem);
      if (!report.entry.empty()) line += L": " + report.entry;
      if (report.library_code)
        line += L", library code " + std::to_wstring(report.library_code) + L" (" +
                win::Widen(URARResultName(report.library_code)) + L")";
      if (report.problem == UnpackProblem::kNotEnoughSpace)
        line += L", " + std::to_wstring(report.needed_bytes) + L" bytes needed, " +
                std::to_wstring(report.free_bytes) + L" free";
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
    j.log.Line(L"the working folder could not be made");
    Fail(j, BuildFailure{FailureReason::kWorkFolder});
  } else if (!j.library_ready) {
    // The program's own copy is missing or could not be written: not the folder's fault.
    j.log.Line(L"the extraction library could not be written into the working folder");
    Fail(j, BuildFailure{FailureReason::kLibrary});
  }
  const bool ok = j.work_folder_ready && j.library_ready && DownloadArchives(j) &&
                  !StopIfCancelled(j) && UnpackArchives(j) && !StopIfCancelled(j) &&
                  RunColdInstall(job, j.drive_root, j.installing_text);
  if (ok && j.release)
    j.log.Line(RecordAcceptedRelease(j.release)
                   ? L"accepted release on this computer: " + std::to_wstring(j.release)
                   : L"the accepted release could not be recorded");
  j.log.Line(ok ? std::wstring(L"build succeeded")
                : L"build failed: " +
                      FailureLine(j.failure, [](const wchar_t* key) { return std::wstring(key); }));
  if (j.finished) j.finished(ok);
}

void CancelInstall(InstallJob& job) {
  SetEvent(job.cancel_event.get());
  std::shared_ptr<DownloadEngine> engine;
  {
    std::lock_guard<std::mutex> guard(job.downloads_lock);
    engine = job.downloads;
  }
  if (engine) engine->Shutdown();
}
