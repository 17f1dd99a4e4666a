#include "wizard/state_base.h"

#include "wizard/state_request.h"
#include "wizard/wizard_state_machine.h"
#include "wizard/wizard_view.h"

StateBase::StateBase(WizardStateMachine& machine, WizardState index)
    : machine_(machine), index_(index) {}
StateBase::~StateBase() = default;

void StateBase::Enter() {}
void StateBase::Exit() {}
void StateBase::HandleEvent(WizardEvent) {}
void StateBase::GetProgressInfo(ProgressSnapshot&) {}

bool StateBase::ConfirmClose() { return true; }

WizardView& StateBase::View() const { return machine_.View(); }

void StateBase::RequestState(WizardState state) const { ::RequestState(View().Window(), state); }
