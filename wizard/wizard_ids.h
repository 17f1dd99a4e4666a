// Numbers the wizard's parts share: state indices, wizard events and the page-change message.
#pragma once

enum WizardStateIndex {
  Welcome = 0,
  USBSelecting = 1,
  USBProgress = 2,
  USBFinishOK = 3,
  USBFinishError = 4,
};
constexpr int kWizardStateCount = 5;

enum WizardEvent {
  Start = 0,        // Button1 "Start", welcome page
  Refresh = 1,      // Layout6 "Refresh", drive-selection page
  Install = 2,      // Button2 "Install", drive-selection page
  Close = 3,        // Button3 "Close", finish page
  WindowClose = 4,  // the frame's close box, any page
};

// Posted to the main window to change the page; wParam is the state index to enter.
constexpr unsigned WM_WIZARD_SETSTATE = 0x0400 + 1;  // WM_USER + 1
