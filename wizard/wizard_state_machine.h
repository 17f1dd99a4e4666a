// The wizard's state machine: five states, one of them current, and the view they all act on.
// The window hands it every wizard event, every requested state change and every progress-timer
// tick; all of its operations run on the window thread.
#pragma once

#include <memory>

#include "builder/build_failure.h"
#include "builder/install_worker.h"
#include "wizard/state_base.h"
#include "wizard/wizard_ids.h"

class WizardView;

class WizardStateMachine {
 public:
  // `view` must outlive the machine. `build` says where the progress page builds and how it
  // starts its worker.
  WizardStateMachine(WizardView& view, BuildSettings build);
  ~WizardStateMachine();
  WizardStateMachine(const WizardStateMachine&) = delete;
  WizardStateMachine& operator=(const WizardStateMachine&) = delete;

  // Constructs the five states in index order (the progress state prepares its build, see
  // progress_state.h), then enters state 0.
  void Init();
  // Takes ownership of `state` in its index's slot.
  void RegisterState(std::unique_ptr<StateBase> state);
  // Exit on the current state, then Enter on state `index`, even when it is the current one.
  // Indices outside 0..4 change nothing.
  void SetState(int index);
  // Hands the event to the current state, unchecked.
  void DispatchEvent(WizardEvent event);
  // Asks the current state; the snapshot stays as the caller initialised it when the state has
  // nothing to report.
  void GetProgressInfo(ProgressSnapshot& progress);
  // Asks the current state whether the window may close (yes when there is none).
  bool ConfirmClose();
  // Destroys the five states without running their Exit.
  void Finish();

  WizardView& View() const { return view_; }
  const BuildSettings& Build() const { return build_; }
  int Current() const { return current_; }
  // The last build's report: the progress page leaves it here for the finish page.
  const BuildReport& Report() const { return report_; }
  void SetReport(BuildReport report) { report_ = std::move(report); }
  StateBase* State(int index) const;

 private:
  StateBase* CurrentState() const { return State(current_); }

  WizardView& view_;
  const BuildSettings build_;
  std::unique_ptr<StateBase> states_[kWizardStateCount];
  int current_ = -1;
  BuildReport report_;
};
