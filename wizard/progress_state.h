// State 2: the progress page. It owns the current build (its working folder, its events and its
// progress record): the first is prepared when the state is constructed at start-up, and each
// entry after a finished build ("Try again", "Make another") prepares a fresh one, in a new
// working folder. Entering the page starts the build; the window's timer reads the progress
// through GetProgressInfo while the page is shown.
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
  ~ProgressState() override;
  void Enter() override;
  void Exit() override;
  void HandleEvent(WizardEvent event) override;
  void GetProgressInfo(ProgressSnapshot& progress) override;
  bool ConfirmClose() override;

 private:
  // A fresh job in a new working folder, not yet started.
  void PrepareJob();
  void RemoveWorkFolder();

  const BuildSettings& build_;
  std::shared_ptr<InstallJob> job_;
  win::UniqueHandle worker_;  // the worker's thread; empty before the build starts
  bool started_ = false;      // job_ has been started: the next entry needs a fresh one
};
