#include "usb_finish_states.h"

#include "usb_wizard_sm.h"
#include "wizard_form.h"

namespace {

void ShowFinishPage(const wchar_t* title, const wchar_t* text, bool succeeded) {
  SetControlText("Label12", Form1->LookupTranslation(title));
  SetControlText("Label13", Form1->LookupTranslation(text));
  SetControlVisible("Image_Error", !succeeded);
  SetControlVisible("Image_OK", succeeded);
  ShowControl("Layout_Finish", true);
}

void CloseOnFinishPage(int event) {
  if (event == Close || event == WindowClose) Form1->Close();
}

}  // namespace

USBFinishOKState::USBFinishOKState(USBWizardSM* owner) : StateBase(owner, USBFinishOK) {
  owner->RegisterState(index, this);
}

void USBFinishOKState::Enter() {
  ShowFinishPage(L"Rescue USB drive created correctly",
                 L"Now you can boot up any computer from your USB drive and remove any viruses "
                 L"that may be blocking it or causing unwanted behaviours.",
                 true);
}

void USBFinishOKState::HandleEvent(int event) { CloseOnFinishPage(event); }

USBFinishErrorState::USBFinishErrorState(USBWizardSM* owner) : StateBase(owner, USBFinishError) {
  owner->RegisterState(index, this);
}

void USBFinishErrorState::Enter() {
  ShowFinishPage(L"Could not install the rescue USB drive",
                 L"There was an error trying to create the rescue USB drive. Please try again",
                 false);
}

void USBFinishErrorState::HandleEvent(int event) { CloseOnFinishPage(event); }
