// The machine on its own, with states that record what is asked of them.
#include "wizard/wizard_state_machine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "wizard/state_request.h"
#include "tests/support/test_window_view.h"

namespace {

using Log = std::vector<std::string>;

class ProbeState : public StateBase {
 public:
  ProbeState(WizardStateMachine& machine, int index, Log* log)
      : StateBase(machine, static_cast<WizardState>(index)), log_(log) {}
  ~ProbeState() override { Record("~"); }
  void Enter() override { Record("Enter"); }
  void Exit() override { Record("Exit"); }
  void HandleEvent(WizardEvent event) override {
    Record("Event" + std::to_string(static_cast<int>(event)));
  }

 private:
  void Record(const std::string& what) { log_->push_back(what + std::to_string(::Index(Index()))); }
  Log* log_;
};

// A machine whose five slots hold probes, current state 0, log cleared. The probes never build,
// so the machine needs no build settings.
struct ProbedMachine {
  ProbedMachine() {
    for (int i = 0; i < kWizardStateCount; ++i)
      machine.RegisterState(std::make_unique<ProbeState>(machine, i, &log));
    machine.SetState(0);
    log.clear();
  }
  Log log;
  TestWindowView view{0x0409};
  WizardStateMachine machine{view, BuildSettings{}};
};

TEST(WizardStateMachine, SetStateRunsExitThenEnterEvenForTheCurrentState) {
  ProbedMachine m;
  m.machine.SetState(3);
  m.machine.SetState(3);
  EXPECT_EQ(m.log, (Log{"Exit0", "Enter3", "Exit3", "Enter3"}));
  EXPECT_EQ(m.machine.Current(), 3);
}

TEST(WizardStateMachine, OutOfRangeIndicesChangeNothing) {
  ProbedMachine m;
  for (int index : {5, -1, 7, 1025}) m.machine.SetState(index);
  EXPECT_EQ(m.log, Log{});
  EXPECT_EQ(m.machine.Current(), 0);
}

TEST(WizardStateMachine, EventsGoToTheCurrentStateUnchecked) {
  ProbedMachine m;
  m.machine.DispatchEvent(WizardEvent::Refresh);
  m.machine.SetState(2);
  m.machine.DispatchEvent(static_cast<WizardEvent>(99));
  EXPECT_EQ(m.log, (Log{"Event10", "Exit0", "Enter2", "Event992"}));
}

TEST(WizardStateMachine, BaseProgressInfoLeavesTheCallersValues) {
  ProbedMachine m;
  for (int state = 0; state < kWizardStateCount; ++state) {
    m.machine.SetState(state);
    ProgressSnapshot progress;
    m.machine.GetProgressInfo(progress);
    EXPECT_EQ(progress.percent, 0);
    EXPECT_EQ(progress.status, L"");
    progress = {42, L"kept"};
    m.machine.GetProgressInfo(progress);
    EXPECT_EQ(progress.percent, 42);
    EXPECT_EQ(progress.status, L"kept");
  }
}

TEST(WizardStateMachine, FinishDestroysEveryStateWithoutExit) {
  ProbedMachine m;
  m.machine.SetState(2);
  m.log.clear();
  m.machine.Finish();
  EXPECT_EQ(m.log, (Log{"~0", "~1", "~2", "~3", "~4"}));
  for (int i = 0; i < kWizardStateCount; ++i) EXPECT_EQ(m.machine.State(i), nullptr);
  // Whatever still reaches the machine after Finish finds no state and does nothing.
  m.machine.DispatchEvent(WizardEvent::WindowClose);
  m.machine.SetState(1);
  ProgressSnapshot progress{5, L""};
  m.machine.GetProgressInfo(progress);
  EXPECT_EQ(progress.percent, 5);
  EXPECT_EQ(m.log, (Log{"~0", "~1", "~2", "~3", "~4"}));
}

TEST(StateRequest, PostsMessage1025WithTheStateIndex) {
  HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  RequestState(window, WizardState::FinishedOk);
  RequestState(window, WizardState::FinishedError);
  std::vector<std::pair<UINT, WPARAM>> posted;
  MSG msg;
  while (PeekMessageW(&msg, window, 0, 0, PM_REMOVE))
    if (msg.message == 1025) posted.push_back({msg.message, msg.wParam});
  EXPECT_EQ(posted, (std::vector<std::pair<UINT, WPARAM>>{{1025, 3}, {1025, 4}}));
  DestroyWindow(window);
}

}  // namespace
