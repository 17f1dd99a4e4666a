#include "wizard/welcome_state.h"

#include "wizard/wizard_view.h"

WelcomeState::WelcomeState(WizardStateMachine& machine)
    : StateBase(machine, WizardState::Welcome) {}

void WelcomeState::Enter() {
  View().ShowPage(WizardPage::Welcome);
  // The only page that also hides the others: it is the first one shown.
  View().HidePage(WizardPage::DriveSelection);
  View().HidePage(WizardPage::Progress);
  View().HidePage(WizardPage::Finish);
  View().HidePage(WizardPage::DriveConfirmation);
}

void WelcomeState::Exit() { View().HidePage(WizardPage::Welcome); }

void WelcomeState::HandleEvent(WizardEvent event) {
  if (event == WizardEvent::Start) RequestState(WizardState::DriveSelection);
  if (event == WizardEvent::WindowClose) View().Close();
}
