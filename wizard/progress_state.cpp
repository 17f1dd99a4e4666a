#include "wizard/progress_state.h"

#include "wizard/state_request.h"
#include "wizard/wizard_state_machine.h"
#include "wizard/wizard_view.h"
#include "builder/work_folder.h"

ProgressState::ProgressState(WizardStateMachine& machine)
    : StateBase(machine, WizardState::Progress), build_(machine.Build()) {
  PrepareJob();
}

ProgressState::~ProgressState() {
  // A job prepared but never started (the window closed before "Install") leaves no folder.
  if (!started_ && job_->work_folder_held) RemoveWorkFolder();
}

void ProgressState::PrepareJob() {
  // The last job goes first: it holds the installer's named event, which the next job makes
  // anew and would otherwise find taken, as if another build were running.
  job_.reset();
  job_ = CreateInstallJob(build_.work_folder ? build_.work_folder() : std::wstring());
  job_->log_folder = build_.log_folder;
  started_ = false;
}

void ProgressState::Enter() {
  if (started_) {
    // The last build has ended (its result brought the finish page, which led back here): its
    // worker's last act was to post that result, so the cancel and the join cost nothing. The
    // next build gets a job of its own.
    CancelInstall(*job_);
    if (worker_) WaitForSingleObject(worker_.get(), INFINITE);
    worker_.reset();
    PrepareJob();
  }
  WizardView& view = View();
  ProgressRecord& progress = job_->progress;
  // The first translation lookup happens here, on the window thread: it may re-translate the
  // window's texts.
  progress.SetStatusText(view.LookupTranslation(L"Downloading"));
  job_->library_ready = job_->work_folder_ready && ExtractUrarLibrary(job_->work_folder);
  progress.SetPercent(0);
  const ProgressSnapshot first = progress.Snapshot();
  // What the worker needs of the window is taken here, on the window thread.
  job_->window = view.Window();
  job_->finished = [window = view.Window()](bool succeeded) {
    ::RequestState(window, succeeded ? WizardState::FinishedOk : WizardState::FinishedError);
  };
  job_->drive_root = view.SelectedDrive();
  job_->installing_text = view.LookupTranslation(L"Installing the rescue USB drive");
  started_ = true;
  if (build_.start_worker) worker_ = build_.start_worker(job_);
  view.ShowProgress(first);
  view.ShowPage(WizardPage::Progress);
  view.SetProgressTimerEnabled(true);
}

void ProgressState::Exit() {
  // The page is left for the finish page once the worker has posted its result, its last act:
  // what it wrote before is complete.
  Machine().SetReport({job_->failure, job_->log.Path(), job_->drive_root});
  RemoveWorkFolder();
  View().SetProgressTimerEnabled(false);
  View().HidePage(WizardPage::Progress);
}

void ProgressState::HandleEvent(WizardEvent event) {
  if (event == WizardEvent::WindowClose) View().Close();
}

void ProgressState::GetProgressInfo(ProgressSnapshot& progress) {
  progress = job_->progress.Snapshot();
}

namespace {
// How long closing the window waits for a cancelled build to stop.
constexpr DWORD kWorkerStopWaitMs = 5000;
}  // namespace

bool ProgressState::ConfirmClose() {
  if (!worker_ || WaitForSingleObject(worker_.get(), 0) == WAIT_OBJECT_0) return true;
  // The question's message loop may apply the worker's result meanwhile; cancelling and joining
  // an ended worker is harmless.
  if (!View().ConfirmStopBuild()) return false;
  CancelInstall(*job_);
  // Every stage sees the cancel within a second; the bound keeps a stuck one from hanging the
  // window. A worker still running keeps the job alive by its own reference and reports to a
  // window handle (a post to a closed window is dropped), so nothing it touches is freed; only
  // its working folder stays behind (a later build makes a folder of its own and never takes
  // over one already there).
  const bool ended = WaitForSingleObject(worker_.get(), kWorkerStopWaitMs) == WAIT_OBJECT_0;
  worker_.reset();
  if (ended) RemoveWorkFolder();
  return true;
}

void ProgressState::RemoveWorkFolder() {
  // Our own hold would keep the folder from being removed.
  job_->work_folder_held.reset();
  ResetWorkFolder(job_->work_folder);
}
