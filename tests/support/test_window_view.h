// The wizard's real view (app/window_view.h) over the real window description and translation
// table, without a visible window: a message-only window receives the states' page requests,
// the timer and close calls the main window would act on are recorded, and the question to stop
// a build is answered with stop_answer.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "app/window_view.h"

class TestWindowView : public WindowView {
 public:
  explicit TestWindowView(uint32_t lcid);
  ~TestWindowView() override;

  HWND Window() const override { return window_; }
  void SetProgressTimerEnabled(bool enabled) override { timer_enabled = enabled; }
  void Close() override { ++close_calls; }
  bool ConfirmStopBuild() override {
    ++stop_questions;
    return stop_answer;
  }

  // The page requests posted since the last call, oldest first.
  std::vector<int> TakeRequests();

  ui::Control* Control(const char* name) { return Scene().Find(name); }
  // Visible and enabled, or neither.
  bool Shown(const char* name);
  bool Hidden(const char* name);

  bool timer_enabled = false;
  int close_calls = 0;
  int stop_questions = 0;
  bool stop_answer = false;  // what the user answers when asked to stop the build

 private:
  HWND window_ = nullptr;
};
