// State 0: the welcome page; "Start" moves on to the drive selection.
#pragma once

#include "state_base.h"

class WelcomeState : public StateBase {
 public:
  explicit WelcomeState(USBWizardSM* owner);
  void Enter() override;
  void Exit() override;
  void HandleEvent(int event) override;
};
