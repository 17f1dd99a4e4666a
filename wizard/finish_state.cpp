#include "wizard/finish_state.h"

#include <string>

#include "builder/drive_eject.h"
#include "builder/removable_drives.h"
#include "i18n/translation.h"
#include "win/clipboard.h"
#include "win/open_as_user.h"
#include "wizard/wizard_state_machine.h"
#include "wizard/wizard_view.h"

namespace {

// What the success page says after "Safely remove".
const wchar_t* EjectNoteKey(EjectOutcome outcome) {
  switch (outcome) {
    case EjectOutcome::kEjected: return L"You can now unplug {drive}.";
    case EjectOutcome::kInUse:
      return L"{drive} is in use: close the files and windows open on it, then click Safely "
             L"remove again.";
    case EjectOutcome::kNotSupported:
      return L"This computer cannot eject {drive}. Unplug it once its light stops blinking.";
    case EjectOutcome::kFailed: break;
  }
  return L"{drive} could not be ejected (error {code}): close what uses it, then click Safely "
         L"remove again.";
}

}  // namespace

FinishState::FinishState(WizardStateMachine& machine, WizardState index)
    : StateBase(machine, index) {}

bool FinishState::Succeeded() const { return Index() == WizardState::FinishedOk; }

void FinishState::Enter() {
  const bool succeeded = Succeeded();
  const wchar_t* title =
      succeeded ? L"Rescue USB drive created correctly" : L"Could not install the rescue USB drive";
  const wchar_t* text =
      succeeded ? L"Now you can boot up any computer from your USB drive and remove any viruses "
                  L"that may be blocking it or causing unwanted behaviours."
                : L"There was an error trying to create the rescue USB drive. Please try again.";
  WizardView& view = View();
  const std::wstring translated_title = view.LookupTranslation(title);
  const std::wstring translated_text = view.LookupTranslation(text);
  std::wstring reason, advice, details;
  if (!succeeded) {
    // Below the fixed message: which step failed and why, what to do about it, and where the
    // build's log is.
    auto translate = [&view](const wchar_t* key) { return view.LookupTranslation(key); };
    const BuildReport& report = Machine().Report();
    reason = FailureLine(report.failure, translate);
    advice = FailureAdvice(report.failure, translate);
    if (!report.log_path.empty()) details = LogPathLine(report.log_path, translate);
  }
  view.ShowFinish(succeeded, translated_title, translated_text, reason, advice, details);
}

void FinishState::Exit() { View().HidePage(WizardPage::Finish); }

void FinishState::HandleEvent(WizardEvent event) {
  WizardView& view = View();
  const BuildReport& report = Machine().Report();
  switch (event) {
    case WizardEvent::Close:
    case WizardEvent::WindowClose: view.Close(); break;
    // Another build, on the drive page: after a failure to try again, after a success to make
    // another drive.
    case WizardEvent::Again: RequestState(WizardState::DriveSelection); break;
    case WizardEvent::SafelyRemove: {
      if (!Succeeded() || report.drive_root.empty()) break;
      const EjectResult result = EjectDrive(report.drive_root);
      view.ShowEjectNote(i18n::Filled(view.LookupTranslation(EjectNoteKey(result.outcome)),
                                      {{L"{drive}", DriveName(report.drive_root)},
                                       {L"{code}", std::to_wstring(result.error)}}));
      break;
    }
    case WizardEvent::OpenLog:
      if (Succeeded() || report.log_path.empty()) break;
      if (!win::OpenAsUser(report.log_path))
        view.ShowLogNote(
            i18n::Filled(view.LookupTranslation(L"The log could not be opened: {path}"),
                         {{L"{path}", report.log_path}}));
      break;
    case WizardEvent::CopyLog:
      if (Succeeded() || report.log_path.empty()) break;
      view.ShowLogNote(i18n::Filled(
          view.LookupTranslation(win::CopyTextToClipboard(view.Window(), report.log_path)
                                     ? L"Copied to the clipboard: {path}"
                                     : L"The clipboard is busy; the log is in {path}"),
          {{L"{path}", report.log_path}}));
      break;
    default: break;
  }
}
