// State 1: the drive-selection page with the list of removable drives.
#pragma once

#include <string>

#include "wizard/state_base.h"

class DriveSelectionState : public StateBase {
 public:
  explicit DriveSelectionState(WizardStateMachine& machine);
  void Enter() override;
  void Exit() override;
  void HandleEvent(WizardEvent event) override;

 private:
  // Lists the removable drives again and selects the drive with root `keep` when it is still
  // there, else the first.
  void RefreshDriveList(const std::wstring& keep = {});
};
