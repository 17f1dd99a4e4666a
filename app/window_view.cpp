#include "app/window_view.h"

#include <stdexcept>
#include <utility>

#include "builder/progress_plan.h"
#include "builder/removable_drives.h"
#include "download/download_progress.h"

namespace {

template <class T = ui::Control>
T* Required(const ui::Scene& scene, const char* name) {
  if (T* control = scene.FindAs<T>(name)) return control;
  throw std::runtime_error(std::string("The window description has no control ") + name + ".");
}

// The user's decimal mark ("," in Spain), for the drives' sizes.
wchar_t DecimalMark(uint32_t lcid) {
  wchar_t mark[4] = {};
  return GetLocaleInfoW(lcid, LOCALE_SDECIMAL, mark, 4) > 1 ? mark[0] : L'.';
}

// The drive list's note on a drive that cannot be used, and the page's advice about it.
const wchar_t* ProblemNote(DriveProblem problem) {
  switch (problem) {
    case DriveProblem::NoMedium: return L"no medium";
    case DriveProblem::WriteProtected: return L"write-protected";
    case DriveProblem::TooSmall: return L"too small";
    case DriveProblem::None: break;
  }
  return nullptr;
}

const wchar_t* ProblemAdvice(DriveProblem problem) {
  switch (problem) {
    case DriveProblem::NoMedium:
      return L"This drive holds no medium: insert one, then click Refresh.";
    case DriveProblem::WriteProtected:
      return L"This drive is write-protected: slide its lock switch off or choose another drive.";
    case DriveProblem::TooSmall: return L"This drive is too small: choose one of at least {size}.";
    case DriveProblem::None: break;
  }
  return nullptr;
}

void SetShown(ui::Control& control, bool shown) {
  control.SetVisible(shown);
  control.SetEnabled(shown);
}

}  // namespace

WindowView::WindowView(std::unique_ptr<ui::Scene> scene, i18n::TranslationTable table)
    : scene_(std::move(scene)),
      languages_(std::move(table),
                 [this] {
                   scene_->TranslateTexts([this](const std::wstring& english) {
                     return languages_.Translate(english);
                   });
                 }),
      welcome_page_(Required(*scene_, "WelcomePage")),
      drive_page_(Required(*scene_, "DrivePage")),
      progress_page_(Required(*scene_, "ProgressPage")),
      finish_page_(Required(*scene_, "FinishPage")),
      confirm_page_(Required(*scene_, "ConfirmPage")),
      confirm_drive_(Required(*scene_, "ConfirmDrive")),
      confirm_contents_(Required(*scene_, "ConfirmContents")),
      confirm_disk_warning_(Required(*scene_, "ConfirmDiskWarning")),
      drive_list_(Required<ui::DropDown>(*scene_, "DriveList")),
      drive_picture_(Required(*scene_, "DrivePicture")),
      no_drive_notice_(Required(*scene_, "NoDriveNotice")),
      drive_problem_notice_(Required(*scene_, "DriveProblemNotice")),
      progress_bar_(Required<ui::ProgressBar>(*scene_, "ProgressBar")),
      status_label_(Required(*scene_, "StatusLabel")),
      step_label_(Required(*scene_, "StepLabel")),
      figures_label_(Required(*scene_, "FiguresLabel")),
      finish_title_(Required(*scene_, "FinishTitle")),
      finish_text_(Required(*scene_, "FinishText")),
      error_lines_(Required(*scene_, "ErrorLines")),
      success_lines_(Required(*scene_, "SuccessLines")),
      finish_reason_(Required(*scene_, "FinishReason")),
      finish_advice_(Required(*scene_, "FinishAdvice")),
      finish_details_(Required(*scene_, "FinishDetails")),
      eject_note_(Required(*scene_, "EjectNote")),
      success_picture_(Required(*scene_, "SuccessPicture")),
      error_picture_(Required(*scene_, "ErrorPicture")),
      clickable_{Required(*scene_, "StartButton"),        Required(*scene_, "RefreshLink"),
                 Required(*scene_, "InstallButton"),      Required(*scene_, "ContinueButton"),
                 Required(*scene_, "CancelButton"),       Required(*scene_, "CloseButton"),
                 Required(*scene_, "CloseBox"),           Required(*scene_, "TryAgainButton"),
                 Required(*scene_, "OpenLogButton"),      Required(*scene_, "CopyLogButton"),
                 Required(*scene_, "SafelyRemoveButton"), Required(*scene_, "MakeAnotherButton")} {
  drive_list_->SetSelectHandler([this] { ShowDriveChoice(); });
}

WindowView::~WindowView() = default;

ui::Control* WindowView::Page(WizardPage page) const {
  switch (page) {
    case WizardPage::Welcome: return welcome_page_;
    case WizardPage::DriveSelection: return drive_page_;
    case WizardPage::Progress: return progress_page_;
    case WizardPage::Finish: return finish_page_;
    case WizardPage::DriveConfirmation: return confirm_page_;
  }
  return welcome_page_;
}

void WindowView::ShowPage(WizardPage page) { SetShown(*Page(page), true); }
void WindowView::HidePage(WizardPage page) { SetShown(*Page(page), false); }

void WindowView::SetDrives(const std::vector<RemovableDrive>& drives, const std::wstring& keep) {
  // A list the user holds open stays open over its new rows.
  const bool was_open = drive_list_->IsOpen();
  const wchar_t decimal_mark = DecimalMark(user_lcid);
  drive_list_->ClearItems();
  drive_problems_.clear();
  int selected = 0;
  for (const RemovableDrive& drive : drives) {
    if (drive.root == keep) selected = drive_list_->ItemCount();
    std::wstring text = DriveText(drive, decimal_mark);
    if (drive.usb_disk) text += L"  " + LookupTranslation(L"USB disk");
    if (const wchar_t* note = ProblemNote(drive.problem))
      text += L"  (" + LookupTranslation(note) + L")";
    drive_list_->AddItem(std::move(text), drive.root);
    drive_problems_.push_back(drive.problem);
  }
  const bool found = !drives.empty();
  for (ui::Control* control : {static_cast<ui::Control*>(drive_list_), drive_picture_})
    control->SetEnabled(found);
  no_drive_notice_->SetVisible(!found);
  if (found) drive_list_->SetSelected(selected);
  drive_list_->SetOpen(was_open && found);
  drive_picture_->SetOpacity(found ? 1.0f : 0.5f);
  ShowDriveChoice();
}

void WindowView::ShowDriveChoice() {
  const int selected = drive_list_->Selected();
  const DriveProblem problem = selected >= 0 && selected < static_cast<int>(drive_problems_.size())
                                   ? drive_problems_[static_cast<size_t>(selected)]
                                   : DriveProblem::None;
  clickable_.install_button->SetEnabled(selected >= 0 && problem == DriveProblem::None);
  const wchar_t* advice = ProblemAdvice(problem);
  const std::wstring text =
      advice ? i18n::Filled(LookupTranslation(advice),
                            {{L"{size}", SizeText(RequiredDriveBytes(), DecimalMark(user_lcid))}})
             : std::wstring();
  drive_problem_notice_->SetText(text);
  drive_problem_notice_->SetVisible(!text.empty());
}

std::wstring WindowView::SelectedDrive() const {
  const int selected = drive_list_->Selected();
  return selected >= 0 ? drive_list_->ItemValue(selected) : std::wstring();
}

void WindowView::SetConfirmation(const RemovableDrive& drive, const DriveContents& contents) {
  const wchar_t mark = DecimalMark(user_lcid);
  std::wstring line = DriveText(drive, mark);
  if (drive.usb_disk) line += L"  " + LookupTranslation(L"USB disk");
  confirm_drive_->SetText(line);
  // Less than the size's last digit still reads as something, never as "0.0 MB".
  const std::wstring size = contents.bytes < 100000 ? L"< 0" + std::wstring(1, mark) + L"1 MB"
                                                    : SizeText(contents.bytes, mark);
  const wchar_t* key = contents.more         ? L"It holds more than {files} files ({size})."
                       : contents.files == 0 ? L"It holds no files."
                       : contents.files == 1 ? L"It holds 1 file ({size})."
                                             : L"It holds {files} files ({size}).";
  confirm_contents_->SetText(i18n::Filled(
      LookupTranslation(key), {{L"{files}", std::to_wstring(contents.files)}, {L"{size}", size}}));
  confirm_disk_warning_->SetVisible(drive.usb_disk);
}

void WindowView::ShowProgress(const ProgressSnapshot& progress) {
  // Both setters leave an unchanged value alone, so an unchanged tick causes no redraw.
  progress_bar_->SetValue(progress_plan::ShownPercent(progress.percent));
  status_label_->SetText(progress.status);
  const wchar_t* step = nullptr;
  switch (progress.step) {
    case progress_plan::StepOf(progress_plan::Stage::Download):
      step = L"Step {step} of {steps}: downloading";
      break;
    case progress_plan::StepOf(progress_plan::Stage::Unpack):
      step = L"Step {step} of {steps}: unpacking";
      break;
    case progress_plan::StepOf(progress_plan::Stage::Install):
      step = L"Step {step} of {steps}: installing";
      break;
  }
  step_label_->SetText(
      step ? i18n::Filled(LookupTranslation(step),
                          {{L"{step}", std::to_wstring(progress.step)},
                           {L"{steps}", std::to_wstring(progress_plan::kStageCount)}})
           : std::wstring());
  figures_label_->SetText(FiguresText(progress, static_cast<double>(GetTickCount64()) / 1000));
}

std::wstring WindowView::FiguresText(const ProgressSnapshot& progress, double seconds) {
  if (progress.step != progress_plan::StepOf(progress_plan::Stage::Download)) return {};
  download_figures_.Observe(seconds, progress.received, progress.expected);
  const std::wstring tries = std::to_wstring(kMaxResumeTries);
  if (progress.resuming || download_figures_.Waiting(seconds)) {
    if (progress.resume_try == 0) return LookupTranslation(L"Waiting for the server");
    return i18n::Filled(LookupTranslation(L"Waiting for the server, try {try} of {tries}"),
                        {{L"{try}", std::to_wstring(progress.resume_try)}, {L"{tries}", tries}});
  }
  if (progress.received == 0 && progress.expected == 0) return {};
  const wchar_t mark = DecimalMark(user_lcid);
  const progress_figures::Amount amount =
      progress_figures::AmountText(progress.received, progress.expected, mark);
  std::wstring text = amount.total.empty()
                          ? amount.done
                          : i18n::Filled(LookupTranslation(L"{done} of {total}"),
                                         {{L"{done}", amount.done}, {L"{total}", amount.total}});
  if (const double speed = download_figures_.Speed(); speed > 0)
    text += L"  \u00b7  " + progress_figures::SpeedText(speed, mark);
  if (const double left = download_figures_.SecondsLeft(); left >= 0)
    text += L"  \u00b7  " + i18n::Filled(LookupTranslation(L"{time} left"),
                                         {{L"{time}", progress_figures::DurationText(left)}});
  return text;
}

void WindowView::ShowFinish(bool succeeded, const std::wstring& title, const std::wstring& text,
                            const std::wstring& reason, const std::wstring& advice,
                            const std::wstring& details) {
  finish_title_->SetText(title);
  finish_text_->SetText(text);
  SetShown(*error_lines_, !succeeded);
  SetShown(*success_lines_, succeeded);
  for (auto [label, line] : {std::pair{finish_reason_, &reason}, std::pair{finish_advice_, &advice},
                             std::pair{finish_details_, &details}}) {
    label->SetText(*line);
    label->SetVisible(!line->empty());
  }
  // The log's actions need a log.
  for (ui::Control* button : {clickable_.open_log_button, clickable_.copy_log_button})
    SetShown(*button, !details.empty());
  // A new success page has not ejected anything yet.
  eject_note_->SetText({});
  eject_note_->SetVisible(false);
  error_picture_->SetVisible(!succeeded);
  success_picture_->SetVisible(succeeded);
  ShowPage(WizardPage::Finish);
}

void WindowView::ShowLogNote(const std::wstring& text) {
  finish_details_->SetText(text);
  finish_details_->SetVisible(!text.empty());
}

void WindowView::ShowEjectNote(const std::wstring& text) {
  eject_note_->SetText(text);
  eject_note_->SetVisible(!text.empty());
}

std::wstring WindowView::LookupTranslation(const wchar_t* key) {
  return lookup_.Lookup(languages_, user_lcid, key);
}

void WindowView::TranslateAtLoad(const std::wstring& language_name) {
  languages_.SelectAtLoad(language_name);
}
