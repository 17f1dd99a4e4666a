// State 1: the drive-selection page with the list of removable drives.
#pragma once

#include "state_base.h"

class USBSelectingState : public StateBase {
 public:
  explicit USBSelectingState(USBWizardSM* owner);
  void Enter() override;
  void Exit() override;
  void HandleEvent(int event) override;

  // Lists the removable drives in the platform's order and selects the first; with none, shows
  // the notice, dims the picture and disables the list and "Install".
  void RefreshDriveList();
};
