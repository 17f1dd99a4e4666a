#include "wizard/progress_state.h"

#include "wizard/state_request.h"
#include "wizard/wizard_state_machine.h"
#include "wizard/wizard_view.h"
#include "builder/work_folder.h"

ProgressState::ProgressState(WizardStateMachine& machine)
    : StateBase(machine, WizardState::Progress),
      job_(CreateInstallJob(machine.Build().work_folder)),
      start_worker_(machine.Build().start_worker) {
  job_->log_folder = machine.Build().log_folder;
}

void ProgressState::Enter() {
  WizardView& view = View();
  ProgressRecord& progress = job_->progress;
  // The first translation lookup happens here, on the window thread: it may re-translate the
  // window's texts.
  progress.SetStatusText(view.LookupTranslation(L"Downloading"));
  job_->work_folder_ready = job_->work_folder_ready && ExtractUrarLibrary(job_->work_folder);
  progress.SetPercent(0);
  const ProgressSnapshot first = progress.Snapshot();
  // What the worker needs of the window is taken here, on the window thread.
  job_->window = view.Window();
  job_->finished = [window = view.Window()](bool succeeded) {
    ::RequestState(window, succeeded ? WizardState::FinishedOk : WizardState::FinishedError);
  };
  job_->drive_root = view.SelectedDrive();
  job_->installing_text = view.LookupTranslation(L"Installing the rescue USB drive");
  if (!started_) {
    started_ = true;
    worker_ = start_worker_(job_);
  }
  view.ShowProgress(first);
  view.ShowPage(WizardPage::Progress);
  view.SetProgressTimerEnabled(true);
}

void ProgressState::Exit() {
  // The page is left for the finish page once the worker has posted its result, its last act:
  // what it wrote before is complete.
  Machine().SetReport({job_->failure, job_->log.Path()});
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
  // its working folder stays, for the next build to reset.
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
