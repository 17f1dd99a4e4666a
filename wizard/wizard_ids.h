// Numbers the wizard's parts share: the five states and the events the window hands to them.
#pragma once

// The state indices travel in message 1025's wParam (state_request.h), so their numbers are
// fixed.
enum class WizardState : int {
  Welcome = 0,
  DriveSelection = 1,
  Progress = 2,
  FinishedOk = 3,
  FinishedError = 4,
};
constexpr int kWizardStateCount = 5;
constexpr int Index(WizardState state) { return static_cast<int>(state); }

enum class WizardEvent : int {
  Start = 0,          // "Start", welcome page
  Refresh = 1,        // "Refresh", drive-selection page
  Install = 2,        // "Install", drive-selection page
  Close = 3,          // "Close", finish page
  WindowClose = 4,    // the frame's close box, any page
  DrivesChanged = 5,  // the system: a volume arrived or left
  Continue = 6,       // "Continue", the question before a build
  Cancel = 7,         // "Cancel" (or Escape), the question before a build
  Again = 8,          // "Try again" (error page) or "Make another" (success page)
  SafelyRemove = 9,   // "Safely remove", success page
  OpenLog = 10,       // "Open log", error page
  CopyLog = 11,       // "Copy", error page: the log's place to the clipboard
};
constexpr int kWizardEventCount = 12;
