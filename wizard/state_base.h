// The base of the wizard's five states. A state shows its page on Enter, hides it on Exit,
// answers wizard events in HandleEvent and, for the progress page, reports progress. It reaches
// the window only through the view its state machine holds, and never switches pages itself: it
// requests a state (state_request.h), so the change happens on the window thread after the
// current handler has returned.
#pragma once

#include "builder/progress_record.h"
#include "wizard/wizard_ids.h"

class WizardStateMachine;
class WizardView;

class StateBase {
 public:
  StateBase(WizardStateMachine& machine, WizardState index);
  StateBase(const StateBase&) = delete;
  StateBase& operator=(const StateBase&) = delete;
  virtual ~StateBase();

  // The base versions do nothing.
  virtual void Enter();
  virtual void Exit();
  virtual void HandleEvent(WizardEvent event);
  // Leaves the snapshot as the caller initialised it.
  virtual void GetProgressInfo(ProgressSnapshot& progress);
  // Whether the window may close now; whatever the state runs is ended first when it may. The
  // base version says yes.
  virtual bool ConfirmClose();

  WizardState Index() const { return index_; }

 protected:
  WizardView& View() const;
  WizardStateMachine& Machine() const { return machine_; }
  // Asks the main window for another state.
  void RequestState(WizardState state) const;

 private:
  WizardStateMachine& machine_;
  const WizardState index_;
};
