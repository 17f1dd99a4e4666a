// The machine on its own, with states that record what is asked of them.
#include "usb_wizard_sm.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Log = std::vector<std::string>;

class ProbeState : public StateBase {
 public:
  ProbeState(USBWizardSM* owner, int index, Log* log) : StateBase(owner, index), log_(log) {
    owner->RegisterState(index, this);
  }
  ~ProbeState() override { Record("~"); }
  void Enter() override { Record("Enter"); }
  void Exit() override { Record("Exit"); }
  void HandleEvent(int event) override { Record("Event" + std::to_string(event)); }

 private:
  void Record(const std::string& what) { log_->push_back(what + std::to_string(index)); }
  Log* log_;
};

// A machine whose five slots hold probes, current state 0, log cleared.
struct ProbedMachine {
  ProbedMachine() {
    for (int i = 0; i < kWizardStateCount; ++i) new ProbeState(&machine, i, &log);
    machine.SetState(0);
    log.clear();
  }
  Log log;
  USBWizardSM machine;
};

TEST(USBWizardSM, SetStateRunsExitThenEnterEvenForTheCurrentState) {
  ProbedMachine m;
  m.machine.SetState(3);
  m.machine.SetState(3);
  EXPECT_EQ(m.log, (Log{"Exit0", "Enter3", "Exit3", "Enter3"}));
  EXPECT_EQ(m.machine.Current(), 3);
}

TEST(USBWizardSM, OutOfRangeIndicesChangeNothing) {
  ProbedMachine m;
  for (int index : {5, -1, 7, 1025}) m.machine.SetState(index);
  EXPECT_EQ(m.log, Log{});
  EXPECT_EQ(m.machine.Current(), 0);
}

TEST(USBWizardSM, EventsGoToTheCurrentStateUnchecked) {
  ProbedMachine m;
  m.machine.DispatchEvent(1);
  m.machine.SetState(2);
  m.machine.DispatchEvent(99);
  EXPECT_EQ(m.log, (Log{"Event10", "Exit0", "Enter2", "Event992"}));
}

TEST(USBWizardSM, BaseProgressInfoLeavesTheCallersValues) {
  ProbedMachine m;
  for (int state = 0; state < kWizardStateCount; ++state) {
    m.machine.SetState(state);
    int percent = 0;
    std::wstring status;
    m.machine.GetProgressInfo(percent, status);
    EXPECT_EQ(percent, 0);
    EXPECT_EQ(status, L"");
    percent = 42;
    status = L"kept";
    m.machine.GetProgressInfo(percent, status);
    EXPECT_EQ(percent, 42);
    EXPECT_EQ(status, L"kept");
  }
}

TEST(USBWizardSM, FinishDestroysEveryStateWithoutExit) {
  ProbedMachine m;
  m.machine.SetState(2);
  m.log.clear();
  m.machine.Finish();
  EXPECT_EQ(m.log, (Log{"~0", "~1", "~2", "~3", "~4"}));
  for (int i = 0; i < kWizardStateCount; ++i) EXPECT_EQ(m.machine.State(i), nullptr);
  // Whatever still reaches the machine after Finish finds no state and does nothing.
  m.machine.DispatchEvent(4);
  m.machine.SetState(1);
  int percent = 5;
  std::wstring status;
  m.machine.GetProgressInfo(percent, status);
  EXPECT_EQ(percent, 5);
  EXPECT_EQ(m.log, (Log{"~0", "~1", "~2", "~3", "~4"}));
}

TEST(StateBase, RequestStatePostsMessage1025) {
  HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  StateBase state(nullptr, 2);
  state.RequestState(window, 3);
  state.RequestState(window, 4);
  std::vector<std::pair<UINT, WPARAM>> posted;
  MSG msg;
  while (PeekMessageW(&msg, window, 0, 0, PM_REMOVE))
    if (msg.message == 1025) posted.push_back({msg.message, msg.wParam});
  EXPECT_EQ(posted, (std::vector<std::pair<UINT, WPARAM>>{{1025, 3}, {1025, 4}}));
  DestroyWindow(window);
}

}  // namespace
