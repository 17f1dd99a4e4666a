#include "usb_progress_state.h"

#include "usb_wizard_sm.h"
#include "wizard_form.h"

USBProgressState::USBProgressState(USBWizardSM* owner) : StateBase(owner, USBProgress) {
  owner->RegisterState(index, this);
}

void USBProgressState::Enter() {
  // The first translation lookup happens here, on the window thread: it may re-translate the
  // window's texts.
  progress->SetStatusText(Form1->LookupTranslation(L"Downloading"));
  progress->SetPercent(0);
  if (auto* bar = Form1->Scene().FindAs<ui::ProgressBar>("ProgressBar1")) bar->SetValue(0);
  ShowControl("Layout_Progress", true);
  Form1->SetProgressTimerEnabled(true);
}

void USBProgressState::Exit() {
  Form1->SetProgressTimerEnabled(false);
  ShowControl("Layout_Progress", false);
}

void USBProgressState::HandleEvent(int event) {
  if (event == WindowClose) Form1->Close();
}

void USBProgressState::GetProgressInfo(int& percent, std::wstring& status) {
  percent = progress->GetPercent();
  status = progress->GetStatusText();
}
