// What the wizard's states need of the main window: its controls (the scene built from the
// window description), its handle (page changes are posted to it), its progress timer, closing
// it, the drive list and the translation of texts shown at run time.
//
// The main window derives from this; tests derive a form of their own that hosts the same
// scene and translation table without showing a window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "translation.h"
#include "ui/scene.h"

class WizardForm {
 public:
  WizardForm(std::unique_ptr<ui::Scene> scene, i18n::TranslationTable table);
  virtual ~WizardForm();
  WizardForm(const WizardForm&) = delete;
  WizardForm& operator=(const WizardForm&) = delete;

  virtual HWND Handle() const = 0;
  virtual void SetProgressTimerEnabled(bool enabled) = 0;
  // Closes the window the ordinary way: the close handler runs once the caller has returned.
  virtual void Close() = 0;

  ui::Scene& Scene() { return *scene_; }
  // The control of that name; null when the description has none.
  ui::Control* Control(std::string_view name) { return scene_->Find(name); }

  // Translates the window's texts with the language named by the user's locale abbreviation.
  void TranslateAtLoad(const std::wstring& language_name);
  // Appends a drive to ComboBox1: "E:\" shows as "E"; a root without a colon shows whole.
  void AddDriveItem(const wchar_t* root);
  // The translation of a text shown at run time, or the text itself (see i18n::TranslationLookup).
  std::wstring LookupTranslation(const wchar_t* key);

  // The user's locale identifier, recorded when the window is created.
  uint32_t UserLCID = 0;

 private:
  std::unique_ptr<ui::Scene> scene_;
  i18n::WindowLanguages languages_;
  // One form per process: this is the lookup's process-wide state.
  i18n::TranslationLookup lookup_;
};

// The main window, set when the application creates it.
extern WizardForm* Form1;

// Operations on the main window's controls by name; a control the description lacks is ignored.
// ShowControl shows and enables, or hides and disables, a control (the pages).
void ShowControl(std::string_view name, bool shown);
void SetControlVisible(std::string_view name, bool visible);
void SetControlText(std::string_view name, const std::wstring& text);
