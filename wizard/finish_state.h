// States 3 and 4: the finish page after a successful or a failed build. Either is left only by
// closing the window.
#pragma once

#include "wizard/state_base.h"

class FinishState : public StateBase {
 public:
  // `index` is WizardState::FinishedOk or WizardState::FinishedError.
  FinishState(WizardStateMachine& machine, WizardState index);
  void Enter() override;
  void HandleEvent(WizardEvent event) override;
};
