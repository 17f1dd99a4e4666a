// The lines the program writes to the debug output as its window and its page flow handle their
// events. Tools outside the program follow a build by them, so the texts never change; the
// end-to-end tests check them (tests/app/wizard_e2e.py: check_trace, and the close checks of
// tests/builder/builder_e2e.py).
#pragma once

namespace trace_line {

inline constexpr char kFormClose[] = "TForm1::FormClose\n";
inline constexpr char kCloseButtonClick[] = "TForm1::Button3Click\n";
inline constexpr char kCloseBoxClick[] = "TForm1::HudWindow1CloseClick\n";
inline constexpr char kProgressTimer[] = "TForm1::TProgressTimerTimer\n";
inline constexpr char kGetProgressInfo[] = "USBWizardSM::GetProgressInfo\n";
inline constexpr char kFinish[] = "USBWizardSM::Finish\n";

}  // namespace trace_line
