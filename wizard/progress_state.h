// State 2: the progress page. It owns the build for this program run (its working folder, its
// events and its progress record), prepared when the state is constructed at start-up and
// started when the page is entered; the window's timer reads the progress through
// GetProgressInfo while the page is shown.
//
// The build is shared with the worker and the installer monitor, which hold what they use. Closing
// the window while the worker runs asks first; a confirmed close cancels the build, joins the
// worker (which joins the monitor) and removes the working folder before the window goes.
#pragma once

#include <functional>
#include <memory>

#include "builder/install_worker.h"
#include "wizard/state_base.h"

class ProgressState : public StateBase {
 public:
  explicit ProgressState(WizardStateMachine& machine);
  void Enter() override;
  void Exit() override;
  void HandleEvent(WizardEvent event) override;
  void GetProgressInfo(ProgressSnapshot& progress) override;
  bool ConfirmClose() override;

 private:
  void RemoveWorkFolder();

  std::shared_ptr<InstallJob> job_;
  std::function<win::UniqueHandle(std::shared_ptr<InstallJob>)> start_worker_;
  win::UniqueHandle worker_;  // the running worker's thread; empty before the build starts
  bool started_ = false;      // the page is entered at most once per run; the build runs once
};
