// State 2: the progress page. It owns the build's progress record, which the window's timer
// reads through GetProgressInfo while the page is shown.
//
// The record is shared (not a plain member) so that whatever reports into it can keep it alive
// for as long as it runs, even past the state's own release when the window closes mid-build.
#pragma once

#include <memory>

#include "install_worker.h"
#include "progress_record.h"
#include "state_base.h"

class USBProgressState : public StateBase {
 public:
  explicit USBProgressState(USBWizardSM* owner);
  void Enter() override;
  void Exit() override;
  void HandleEvent(int event) override;
  void GetProgressInfo(int& percent, std::wstring& status) override;

  const std::shared_ptr<ProgressRecord>& Progress() const { return progress; }

 private:
  std::shared_ptr<ProgressRecord> progress = std::make_shared<ProgressRecord>();
  // The build this page runs: working folder, events and what the worker takes from the window.
  std::shared_ptr<InstallJob> job;
  // Created with the state, started on enter; from then on it owns itself.
  std::unique_ptr<TThread_ThreadDoInstall> InstallThread;
};
