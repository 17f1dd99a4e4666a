// States 3 and 4: the finish page after a successful or a failed build. Either is left only by
// closing the window.
#pragma once

#include "state_base.h"

class USBFinishOKState : public StateBase {
 public:
  explicit USBFinishOKState(USBWizardSM* owner);
  void Enter() override;
  void HandleEvent(int event) override;
};

class USBFinishErrorState : public StateBase {
 public:
  explicit USBFinishErrorState(USBWizardSM* owner);
  void Enter() override;
  void HandleEvent(int event) override;
};
