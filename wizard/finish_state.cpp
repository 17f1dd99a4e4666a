#include "wizard/finish_state.h"

#include "wizard/wizard_state_machine.h"
#include "wizard/wizard_view.h"

FinishState::FinishState(WizardStateMachine& machine, WizardState index)
    : StateBase(machine, index) {}

void FinishState::Enter() {
  const bool succeeded = Index() == WizardState::FinishedOk;
  const wchar_t* title = succeeded ? L"Rescue USB drive created correctly"
                                   : L"Could not install the rescue USB drive";
  const wchar_t* text =
      succeeded ? L"Now you can boot up any computer from your USB drive and remove any viruses "
                  L"that may be blocking it or causing unwanted behaviours."
                : L"There was an error trying to create the rescue USB drive. Please try again.";
  WizardView& view = View();
  const std::wstring translated_title = view.LookupTranslation(title);
  const std::wstring translated_text = view.LookupTranslation(text);
  std::wstring reason, details;
  if (!succeeded) {
    // Below the fixed message: which step failed and why, and where the build's log is.
    auto translate = [&view](const wchar_t* key) { return view.LookupTranslation(key); };
    const BuildReport& report = Machine().Report();
    reason = FailureLine(report.failure, translate);
    if (!report.log_path.empty()) details = LogPathLine(report.log_path, translate);
  }
  view.ShowFinish(succeeded, translated_title, translated_text, reason, details);
}

void FinishState::HandleEvent(WizardEvent event) {
  if (event == WizardEvent::Close || event == WizardEvent::WindowClose) View().Close();
}
