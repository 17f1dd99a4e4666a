// States 3 and 4: the finish page after a successful or a failed build. After a failure the page
// says what to do, opens or copies the build log's place and offers to try again; after a
// success it says what to do next, ejects the drive and offers to make another. "Try again" and
// "Make another" lead back to the drive page; closing the window ends the program.
#pragma once

#include "wizard/state_base.h"

class FinishState : public StateBase {
 public:
  // `index` is WizardState::FinishedOk or WizardState::FinishedError.
  FinishState(WizardStateMachine& machine, WizardState index);
  void Enter() override;
  void Exit() override;
  void HandleEvent(WizardEvent event) override;

 private:
  bool Succeeded() const;
};
