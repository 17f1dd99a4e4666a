// The wizard's view over the main window's scene: the one place, besides the window description
// (window.ui), that knows the controls by name. It finds every control it needs when it is
// constructed and maps the states' typed requests (pages, drives, progress, finish) onto them;
// it also holds the window's translation table and the run-time translation lookup.
//
// The main window derives from it and adds the real window (its handle, its timer, closing it);
// tests derive a view of their own over the same description without showing a window.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "builder/progress_figures.h"
#include "i18n/translation.h"
#include "ui/scene.h"
#include "wizard/wizard_view.h"

class WindowView : public WizardView {
 public:
  // Throws std::runtime_error naming a control the description lacks.
  WindowView(std::unique_ptr<ui::Scene> scene, i18n::TranslationTable table);
  ~WindowView() override;

  void ShowPage(WizardPage page) override;
  void HidePage(WizardPage page) override;
  void SetDrives(const std::vector<RemovableDrive>& drives, const std::wstring& keep) override;
  std::wstring SelectedDrive() const override;
  void SetConfirmation(const RemovableDrive& drive, const DriveContents& contents) override;
  void ShowProgress(const ProgressSnapshot& progress) override;
  void ShowFinish(bool succeeded, const std::wstring& title, const std::wstring& text,
                  const std::wstring& reason, const std::wstring& advice,
                  const std::wstring& details) override;
  void ShowLogNote(const std::wstring& text) override;
  void ShowEjectNote(const std::wstring& text) override;
  std::wstring LookupTranslation(const wchar_t* key) override;

  // Translates the window's texts with the language named by the user's locale abbreviation.
  void TranslateAtLoad(const std::wstring& language_name);

  ui::Scene& Scene() { return *scene_; }

  // The user's locale identifier, recorded when the window is created; the lookup reads it.
  uint32_t user_lcid = 0;

 protected:
  // The controls the window binds its actions to.
  struct Clickable {
    ui::Control* start_button;
    ui::Control* refresh_link;
    ui::Control* install_button;
    ui::Control* continue_button;
    ui::Control* cancel_button;
    ui::Control* close_button;
    ui::Control* close_box;
    // The finish pages' own.
    ui::Control* try_again_button;
    ui::Control* open_log_button;
    ui::Control* copy_log_button;
    ui::Control* safely_remove_button;
    ui::Control* make_another_button;
  };
  const Clickable& Clickables() const { return clickable_; }

 private:
  ui::Control* Page(WizardPage page) const;
  // Install and the page's advice follow the chosen drive's problem.
  void ShowDriveChoice();
  // The progress page's line of download figures for this snapshot, read at `seconds`.
  std::wstring FiguresText(const ProgressSnapshot& progress, double seconds);

  std::unique_ptr<ui::Scene> scene_;
  i18n::WindowLanguages languages_;
  // One window per process: this is the lookup's process-wide state.
  i18n::TranslationLookup lookup_;

  ui::Control* welcome_page_;
  ui::Control* drive_page_;
  ui::Control* progress_page_;
  ui::Control* finish_page_;
  ui::Control* confirm_page_;
  ui::Control* confirm_drive_;
  ui::Control* confirm_contents_;
  ui::Control* confirm_disk_warning_;
  ui::DropDown* drive_list_;
  ui::Control* drive_picture_;
  ui::Control* no_drive_notice_;
  ui::Control* drive_problem_notice_;
  std::vector<DriveProblem> drive_problems_;  // one per drive list item
  ui::ProgressBar* progress_bar_;
  ui::Control* status_label_;
  ui::Control* step_label_;
  ui::Control* figures_label_;
  progress_figures::DownloadFigures download_figures_;
  ui::Control* finish_title_;
  ui::Control* finish_text_;
  ui::Control* error_lines_;    // the error page's own lines and buttons
  ui::Control* success_lines_;  // the success page's
  ui::Control* finish_reason_;
  ui::Control* finish_advice_;
  ui::Control* finish_details_;
  ui::Control* eject_note_;
  ui::Control* success_picture_;
  ui::Control* error_picture_;
  Clickable clickable_;
};
