// The base of the wizard's five states. A state shows its page on Enter, hides it on Exit,
// answers wizard events in HandleEvent and, for the progress page, reports progress. A state
// never switches pages itself: it posts a request to the main window (RequestState), so the
// change happens on the window thread after the current handler has returned.
#pragma once

#include <windows.h>

#include <string>

class USBWizardSM;

class StateBase {
 public:
  StateBase(USBWizardSM* owner, int index);
  StateBase(const StateBase&) = delete;
  StateBase& operator=(const StateBase&) = delete;

  // The four operations, in this order; the base versions do nothing.
  virtual void Enter();
  virtual void Exit();
  virtual void HandleEvent(int event);
  // Leaves both outputs as the caller initialised them.
  virtual void GetProgressInfo(int& percent, std::wstring& status);
  // Declared after the four so that they keep the first four slots of the table.
  virtual ~StateBase();

  // Posts WM_WIZARD_SETSTATE with wParam = index to `window`; whether the post worked is not
  // checked.
  void RequestState(HWND window, int index);

  int Index() const { return index; }

 protected:
  USBWizardSM* owner;
  int index;
};
