#include "usb_wizard_sm.h"

#include "usb_finish_states.h"
#include "usb_progress_state.h"
#include "usb_selecting_state.h"
#include "welcome_state.h"

namespace {
bool ValidIndex(int index) { return index >= 0 && index < kWizardStateCount; }
}  // namespace

USBWizardSM::~USBWizardSM() = default;

void USBWizardSM::Init() {
  // Each state registers itself with this machine from its constructor.
  new WelcomeState(this);
  new USBSelectingState(this);
  new USBProgressState(this);
  new USBFinishOKState(this);
  new USBFinishErrorState(this);
  current = Welcome;
  if (StateBase* state = CurrentState()) state->Enter();
}

void USBWizardSM::RegisterState(int index, StateBase* state) {
  if (ValidIndex(index)) states[index].reset(state);
}

StateBase* USBWizardSM::State(int index) const {
  return ValidIndex(index) ? states[index].get() : nullptr;
}

void USBWizardSM::SetState(int index) {
  if (!ValidIndex(index)) return;
  if (StateBase* state = CurrentState()) state->Exit();
  current = index;
  if (StateBase* state = CurrentState()) state->Enter();
}

void USBWizardSM::DispatchEvent(int event) {
  if (StateBase* state = CurrentState()) state->HandleEvent(event);
}

void USBWizardSM::GetProgressInfo(int& percent, std::wstring& status) {
  OutputDebugStringA("USBWizardSM::GetProgressInfo\n");
  if (StateBase* state = CurrentState()) state->GetProgressInfo(percent, status);
}

void USBWizardSM::Finish() {
  OutputDebugStringA("USBWizardSM::Finish\n");
  for (auto& state : states) state.reset();
}
