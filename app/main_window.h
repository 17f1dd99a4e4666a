// The main window: the wizard's view (window_view.h) on a layered window, the wizard's state
// machine, and the handlers that turn clicks, page requests (message 1025), volumes arriving or
// leaving (WM_DEVICECHANGE) and the 100 ms progress timer into calls on the machine. Every
// handler runs on the window thread.
#pragma once

#include <windows.h>

#include <memory>

#include "ui/layered_window_win.h"
#include "app/window_view.h"
#include "wizard/wizard_state_machine.h"

class MainWindow : public WindowView {
 public:
  // Loads the window description and the translation table from the program's resources,
  // translates the window's texts for the user's locale, creates the window (still hidden) and
  // runs OnCreate. Throws std::runtime_error when a resource or the window is missing.
  explicit MainWindow(HINSTANCE instance);
  ~MainWindow() override;

  HWND Window() const override { return window_.Handle(); }
  void SetProgressTimerEnabled(bool enabled) override;
  // Posts WM_CLOSE: the close handler then runs after the current handler has returned, never
  // while a state is still inside its own HandleEvent.
  void Close() override;
  // A question box owned by the window, in the user's language.
  bool ConfirmStopBuild() override;

 private:
  void OnCreate();
  void OnClose();
  void OnStartClick();
  void OnRefreshClick();
  void OnInstallClick();
  void OnContinueClick();
  void OnCancelClick();
  void OnCloseButtonClick();
  void OnCloseBoxClick();
  void OnProgressTimer();
  bool HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result);

  ui::LayeredWindow window_;
  // Created by OnCreate, finished and destroyed by OnClose. Every handler tests it first, so
  // messages that arrive before creation or after closing do nothing.
  std::unique_ptr<WizardStateMachine> machine_;
};
