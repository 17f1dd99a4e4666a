// The wizard's state machine: five states, one of them current. The window hands it every
// wizard event and every requested page change; all of its operations run on the window thread.
#pragma once

#include <memory>
#include <string>

#include "state_base.h"
#include "wizard_ids.h"

class USBWizardSM {
 public:
  USBWizardSM() = default;
  ~USBWizardSM();
  USBWizardSM(const USBWizardSM&) = delete;
  USBWizardSM& operator=(const USBWizardSM&) = delete;

  // Constructs the five states in index order (each registers itself), then enters state 0.
  void Init();
  // Takes ownership of `state` in slot `index`; indices outside 0..4 are ignored.
  void RegisterState(int index, StateBase* state);
  // Exit on the current state, then Enter on state `index`, even when it is the current one.
  // Indices outside 0..4 change nothing.
  void SetState(int index);
  // Hands the event to the current state.
  void DispatchEvent(int event);
  void GetProgressInfo(int& percent, std::wstring& status);
  // Destroys the five states without running their Exit.
  void Finish();

  int Current() const { return current; }
  StateBase* State(int index) const;

 private:
  StateBase* CurrentState() const { return State(current); }

  std::unique_ptr<StateBase> states[kWizardStateCount];
  int current = -1;
};
