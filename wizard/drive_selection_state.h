// State 1: the drive-selection page with the list of removable drives, and the question that
// "Install" asks first: the chosen drive, what it holds and that it may be lost. Only "Continue"
// on that question starts the build.
#pragma once

#include <string>
#include <vector>

#include "builder/removable_drives.h"
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
  // Counts what the chosen drive holds and puts the question in place of the drive page.
  void AskBeforeInstall();
  // Back from the question to the drive page.
  void ShowDriveList();

  std::vector<RemovableDrive> drives_;  // as listed, in the list's order
  std::wstring asked_about_;            // the drive the question is shown for; empty when none
};
