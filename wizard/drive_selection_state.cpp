#include "wizard/drive_selection_state.h"

#include "builder/removable_drives.h"
#include "wizard/wizard_view.h"

DriveSelectionState::DriveSelectionState(WizardStateMachine& machine)
    : StateBase(machine, WizardState::DriveSelection) {}

void DriveSelectionState::Enter() {
  RefreshDriveList();
  View().ShowPage(WizardPage::DriveSelection);
}

void DriveSelectionState::Exit() { View().HidePage(WizardPage::DriveSelection); }

void DriveSelectionState::HandleEvent(WizardEvent event) {
  // "Install" needs no check of the list: the view disables it while the list is empty.
  // "Refresh" selects the first drive again; a drive plugged in or pulled out elsewhere keeps
  // the user's choice when it is still there.
  if (event == WizardEvent::Refresh) RefreshDriveList();
  if (event == WizardEvent::DrivesChanged) RefreshDriveList(View().SelectedDrive());
  if (event == WizardEvent::Install) RequestState(WizardState::Progress);
  if (event == WizardEvent::WindowClose) View().Close();
}

void DriveSelectionState::RefreshDriveList(const std::wstring& keep) {
  View().SetDrives(RemovableDrives(), keep);
}
