// State 0: the welcome page; "Start" moves on to the drive selection.
#pragma once

#include "wizard/state_base.h"

class WelcomeState : public StateBase {
 public:
  explicit WelcomeState(WizardStateMachine& machine);
  void Enter() override;
  void Exit() override;
  void HandleEvent(WizardEvent event) override;
};
