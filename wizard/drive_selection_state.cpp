#include "wizard/drive_selection_state.h"

#include <algorithm>

#include "builder/drive_contents.h"
#include "wizard/wizard_view.h"

DriveSelectionState::DriveSelectionState(WizardStateMachine& machine)
    : StateBase(machine, WizardState::DriveSelection) {}

void DriveSelectionState::Enter() {
  RefreshDriveList();
  View().ShowPage(WizardPage::DriveSelection);
}

void DriveSelectionState::Exit() {
  asked_about_.clear();
  View().HidePage(WizardPage::DriveConfirmation);
  View().HidePage(WizardPage::DriveSelection);
}

void DriveSelectionState::HandleEvent(WizardEvent event) {
  // "Install" needs no check of the list: the view disables it while the list is empty.
  // "Refresh" selects the first drive again; a drive plugged in or pulled out elsewhere keeps
  // the user's choice when it is still there.
  switch (event) {
    case WizardEvent::Refresh: RefreshDriveList(); break;
    case WizardEvent::DrivesChanged:
      RefreshDriveList(View().SelectedDrive());
      // The drive the question is about was pulled out: there is nothing left to confirm.
      if (!asked_about_.empty() && View().SelectedDrive() != asked_about_) ShowDriveList();
      break;
    case WizardEvent::Install:
      if (asked_about_.empty()) AskBeforeInstall();
      break;
    case WizardEvent::Continue:
      if (!asked_about_.empty()) RequestState(WizardState::Progress);
      break;
    case WizardEvent::Cancel:
      if (!asked_about_.empty()) ShowDriveList();
      break;
    case WizardEvent::WindowClose: View().Close(); break;
    default: break;
  }
}

void DriveSelectionState::RefreshDriveList(const std::wstring& keep) {
  drives_ = RemovableDrives();
  View().SetDrives(drives_, keep);
}

void DriveSelectionState::AskBeforeInstall() {
  const std::wstring root = View().SelectedDrive();
  const auto drive = std::find_if(drives_.begin(), drives_.end(),
                                  [&](const RemovableDrive& d) { return d.root == root; });
  if (drive == drives_.end()) return;
  View().SetConfirmation(*drive, CountDriveContents(root));
  asked_about_ = root;
  View().HidePage(WizardPage::DriveSelection);
  View().ShowPage(WizardPage::DriveConfirmation);
}

void DriveSelectionState::ShowDriveList() {
  asked_about_.clear();
  View().HidePage(WizardPage::DriveConfirmation);
  View().ShowPage(WizardPage::DriveSelection);
}
