#include "app/window_view.h"

#include <stdexcept>

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
      progress_bar_(Required<ui::ProgressBar>(*scene_, "ProgressBar")),
      status_label_(Required(*scene_, "StatusLabel")),
      finish_title_(Required(*scene_, "FinishTitle")),
      finish_text_(Required(*scene_, "FinishText")),
      finish_reason_(Required(*scene_, "FinishReason")),
      finish_details_(Required(*scene_, "FinishDetails")),
      success_picture_(Required(*scene_, "SuccessPicture")),
      error_picture_(Required(*scene_, "ErrorPicture")),
      clickable_{Required(*scene_, "StartButton"), Required(*scene_, "RefreshLink"),
                 Required(*scene_, "InstallButton"), Required(*scene_, "CloseButton"),
                 Required(*scene_, "CloseBox")} {}

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
  int selected = 0;
  for (const RemovableDrive& drive : drives) {
    if (drive.root == keep) selected = drive_list_->ItemCount();
    drive_list_->AddItem(DriveText(drive, decimal_mark), drive.root);
  }
  const bool found = !drives.empty();
  for (ui::Control* control : {static_cast<ui::Control*>(drive_list_),
                               clickable_.install_button, drive_picture_})
    control->SetEnabled(found);
  no_drive_notice_->SetVisible(!found);
  if (found) drive_list_->SetSelected(selected);
  drive_list_->SetOpen(was_open && found);
  drive_picture_->SetOpacity(found ? 1.0f : 0.5f);
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
                            const std::wstring& reason, const std::wstring& details) {
  finish_title_->SetText(title);
  finish_text_->SetText(text);
  finish_reason_->SetText(reason);
  finish_details_->SetText(details);
  finish_reason_->SetVisible(!reason.empty());
  finish_details_->SetVisible(!details.empty());
  error_picture_->SetVisible(!succeeded);
  success_picture_->SetVisible(succeeded);
  ShowPage(WizardPage::Finish);
}

std::wstring WindowView::LookupTranslation(const wchar_t* key) {
  return lookup_.Lookup(languages_, user_lcid, key);
}

void WindowView::TranslateAtLoad(const std::wstring& language_name) {
  languages_.SelectAtLoad(language_name);
}
