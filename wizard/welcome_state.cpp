#include "welcome_state.h"

#include "usb_wizard_sm.h"
#include "wizard_form.h"

WelcomeState::WelcomeState(USBWizardSM* owner) : StateBase(owner, Welcome) {
  owner->RegisterState(index, this);
}

void WelcomeState::Enter() {
  ShowControl("Layout_Init", true);
  // The only page that also hides the others: it is the first one shown.
  ShowControl("Layout_USBSelect", false);
  ShowControl("Layout_Progress", false);
  ShowControl("Layout_Finish", false);
}

void WelcomeState::Exit() { ShowControl("Layout_Init", false); }

void WelcomeState::HandleEvent(int event) {
  if (event == Start) RequestState(Form1->Handle(), USBSelecting);
  if (event == WindowClose) Form1->Close();
}
