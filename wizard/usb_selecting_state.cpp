#include "usb_selecting_state.h"

#include "usb_wizard_sm.h"
#include "wizard_form.h"

USBSelectingState::USBSelectingState(USBWizardSM* owner) : StateBase(owner, USBSelecting) {
  owner->RegisterState(index, this);
}

void USBSelectingState::Enter() {
  RefreshDriveList();
  ShowControl("Layout_USBSelect", true);
}

void USBSelectingState::Exit() { ShowControl("Layout_USBSelect", false); }

void USBSelectingState::HandleEvent(int event) {
  // "Install" needs no check of the list: the button is disabled while the list is empty.
  if (event == Refresh) RefreshDriveList();
  if (event == Install) RequestState(Form1->Handle(), USBProgress);
  if (event == WindowClose) Form1->Close();
}

void USBSelectingState::RefreshDriveList() {
  auto* list = Form1->Scene().FindAs<ui::DropDown>("ComboBox1");
  if (list) list->ClearItems();
  bool found = false;

  // Roots ("E:\"), each ended by a NUL, one more NUL after the last. A list that does not fit
  // (a length of 260 or more) is not examined at all.
  wchar_t roots[260] = {};
  const DWORD length = GetLogicalDriveStringsW(260, roots);
  if (length >= 1 && length <= 259) {
    for (const wchar_t* root = roots; *root; root += wcslen(root) + 1) {
      if (GetDriveTypeW(root) == DRIVE_REMOVABLE) {
        Form1->AddDriveItem(root);
        found = true;
      }
    }
  }

  for (const char* name : {"ComboBox1", "Button2", "Image1"})
    if (ui::Control* control = Form1->Control(name)) control->SetEnabled(found);
  SetControlVisible("Label14", !found);
  ui::Control* picture = Form1->Control("Image1");
  if (found && list) list->SetSelected(0);
  if (picture) picture->SetOpacity(found ? 1.0f : 0.5f);
}
