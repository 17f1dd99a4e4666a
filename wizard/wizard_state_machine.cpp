#include "wizard/wizard_state_machine.h"

#include <windows.h>

#include "wizard/drive_selection_state.h"
#include "wizard/finish_state.h"
#include "wizard/progress_state.h"
#include "wizard/trace_lines.h"
#include "wizard/welcome_state.h"

namespace {
bool ValidIndex(int index) { return index >= 0 && index < kWizardStateCount; }
}  // namespace

WizardStateMachine::WizardStateMachine(WizardView& view, BuildSettings build)
    : view_(view), build_(std::move(build)) {}

WizardStateMachine::~WizardStateMachine() = default;

void WizardStateMachine::Init() {
  RegisterState(std::make_unique<WelcomeState>(*this));
  RegisterState(std::make_unique<DriveSelectionState>(*this));
  RegisterState(std::make_unique<ProgressState>(*this));
  RegisterState(std::make_unique<FinishState>(*this, WizardState::FinishedOk));
  RegisterState(std::make_unique<FinishState>(*this, WizardState::FinishedError));
  current_ = Index(WizardState::Welcome);
  if (StateBase* state = CurrentState()) state->Enter();
}

void WizardStateMachine::RegisterState(std::unique_ptr<StateBase> state) {
  const int index = Index(state->Index());
  if (ValidIndex(index)) states_[index] = std::move(state);
}

StateBase* WizardStateMachine::State(int index) const {
  return ValidIndex(index) ? states_[index].get() : nullptr;
}

void WizardStateMachine::SetState(int index) {
  if (!ValidIndex(index)) return;
  if (StateBase* state = CurrentState()) state->Exit();
  current_ = index;
  if (StateBase* state = CurrentState()) state->Enter();
}

void WizardStateMachine::DispatchEvent(WizardEvent event) {
  if (StateBase* state = CurrentState()) state->HandleEvent(event);
}

void WizardStateMachine::GetProgressInfo(ProgressSnapshot& progress) {
  OutputDebugStringA(trace_line::kGetProgressInfo);
  if (StateBase* state = CurrentState()) state->GetProgressInfo(progress);
}

bool WizardStateMachine::ConfirmClose() {
  StateBase* state = CurrentState();
  return !state || state->ConfirmClose();
}

void WizardStateMachine::Finish() {
  OutputDebugStringA(trace_line::kFinish);
  for (auto& state : states_) state.reset();
}
