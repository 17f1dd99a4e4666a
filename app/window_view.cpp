#include "app/window_view.h"

#include <stdexcept>
#include <utility>

#include "builder/progress_plan.h"
#include "builder/removable_drives.h"

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
      drive_list_(Required<ui::DropDown>(*scene_, "DriveList")),
      drive_picture_(Required(*scene_, "DrivePicture")),
      no_drive_notice_(Required(*scene_, "NoDriveNotice")),
      drive_problem_notice_(Required(*scene_, "DriveProblemNotice")),
      progress_bar_(Required<ui::ProgressBar>(*scene_, "ProgressBar")),
      status_label_(Required(*scene_, "StatusLabel")),
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
      clickable_{Required(*scene_, "StartButton"), Required(*scene_, "RefreshLink"),
                 Required(*scene_, "InstallButton"), Required(*scene_, "CloseButton"),
                 Required(*scene_, "CloseBox"), Required(*scene_, "TryAgainButton"),
                 Required(*scene_, "OpenLogButton"), Required(*scene_, "CopyLogButton"),
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
  std::wstring text = advice ? LookupTranslation(advice) : std::wstring();
  if (const size_t at = text.find(L"{size}"); at != std::wstring::npos)
    text.replace(at, 6, SizeText(RequiredDriveBytes(), DecimalMark(user_lcid)));
  drive_problem_notice_->SetText(text);
  drive_problem_notice_->SetVisible(!text.empty());
}

std::wstring WindowView::SelectedDrive() const {
  const int selected = drive_list_->Selected();
  return selected >= 0 ? drive_list_->ItemValue(selected) : std::wstring();
}

void WindowView::ShowProgress(const ProgressSnapshot& progress) {
  // Both setters leave an unchanged value alone, so an unchanged tick causes no redraw.
  progress_bar_->SetValue(progress_plan::ShownPercent(progress.percent));
  status_label_->SetText(progress.status);
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
