// The main window: the scene of the window description on a layered window, the wizard's state
// machine, and the handlers that turn clicks, page requests (message 1025) and the 100 ms
// progress timer into calls on the machine. Every handler runs on the window thread.
#pragma once

#include <windows.h>

#include "ui/layered_window_win.h"
#include "wizard_form.h"

class TForm1 : public WizardForm {
 public:
  // Loads the window description and the translation table from the program's resources,
  // translates the window's texts for the user's locale, creates the window (still hidden) and
  // runs FormCreate. Throws std::runtime_error when a resource or the window is missing.
  explicit TForm1(HINSTANCE instance);
  ~TForm1() override;

  HWND Handle() const override { return window_.Handle(); }
  void SetProgressTimerEnabled(bool enabled) override;
  // Posts WM_CLOSE: the close handler then runs after the current handler has returned, never
  // while a state is still inside its own HandleEvent.
  void Close() override;

  void FormCreate();
  void FormClose();
  void Button1Click();
  void Layout6Click();
  void Button2Click();
  void Button3Click();
  void HudWindow1CloseClick();
  void TProgressTimerTimer();

 private:
  bool HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result);
  void HandleClick(ui::Control& control);

  ui::LayeredWindow window_;
};
