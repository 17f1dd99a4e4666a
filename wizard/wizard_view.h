// What the wizard's states see of the main window: its pages, the drive list, the progress page,
// the finish page, the translation of texts shown at run time, and the window itself (which
// receives page requests and owns the download engine's dialogs). The state machine hands it to
// the states; the window implements it over its scene (app/window_view.h), and no state knows a
// control by name.
//
// All calls come from the window thread.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "builder/drive_contents.h"
#include "builder/progress_record.h"
#include "builder/removable_drives.h"

// DriveConfirmation asks before a build whether the chosen drive's files may be lost.
enum class WizardPage { Welcome, DriveSelection, Progress, Finish, DriveConfirmation };

class WizardView {
 public:
  virtual ~WizardView() = default;

  // Shows and enables a page, or hides and disables it. Pages do not hide each other: the
  // states decide which are shown.
  virtual void ShowPage(WizardPage page) = 0;
  virtual void HidePage(WizardPage page) = 0;

  // Lists these drives in this order, each with its name, label and size, and selects the one
  // whose root is `keep` when it is listed, else the first. Each item carries its root; an empty
  // list disables "Install" and says that no drive was found.
  virtual void SetDrives(const std::vector<RemovableDrive>& drives, const std::wstring& keep) = 0;
  // The root of the selected drive; empty when none is selected.
  virtual std::wstring SelectedDrive() const = 0;
  // Fills the question before a build for this drive and what it holds; a USB disk gets the
  // firmer warning. The page itself is shown with ShowPage.
  virtual void SetConfirmation(const RemovableDrive& drive, const DriveContents& contents) = 0;

  // Shows a progress snapshot on the progress page's bar and status line.
  virtual void ShowProgress(const ProgressSnapshot& progress) = 0;
  // Starts or stops the 100 ms timer whose ticks ask the state machine for progress.
  virtual void SetProgressTimerEnabled(bool enabled) = 0;

  // Fills the finish page for the build's outcome with these (translated) texts and shows it.
  // After a failure: `reason` (why the build failed), `advice` (what to do about it) and
  // `details` (where its log is) are lines under `text`, each shown only when not empty, with
  // "Try again" and, when there is a log, its two actions. After a success: the next steps and
  // "Safely remove" and "Make another".
  virtual void ShowFinish(bool succeeded, const std::wstring& title, const std::wstring& text,
                          const std::wstring& reason, const std::wstring& advice,
                          const std::wstring& details) = 0;
  // Replaces the error page's log line (what became of opening or copying it).
  virtual void ShowLogNote(const std::wstring& text) = 0;
  // Shows the success page's line on what became of "Safely remove".
  virtual void ShowEjectNote(const std::wstring& text) = 0;

  // The translation of a text shown at run time, or the text itself. The first call selects the
  // language by the user's locale and re-translates the window's texts.
  virtual std::wstring LookupTranslation(const wchar_t* key) = 0;

  // Asks the user whether to stop the build under way and discard it; true for yes.
  virtual bool ConfirmStopBuild() = 0;

  // The main window: page requests are posted to it.
  virtual HWND Window() const = 0;
  // Closes the window the ordinary way, once the caller has returned.
  virtual void Close() = 0;
};
