#include "state_base.h"

#include "wizard_ids.h"

StateBase::StateBase(USBWizardSM* owner, int index) : owner(owner), index(index) {}
StateBase::~StateBase() = default;

void StateBase::Enter() {}
void StateBase::Exit() {}
void StateBase::HandleEvent(int) {}
void StateBase::GetProgressInfo(int&, std::wstring&) {}

void StateBase::RequestState(HWND window, int index) {
  PostMessageA(window, WM_WIZARD_SETSTATE, static_cast<WPARAM>(index), 0);
}
