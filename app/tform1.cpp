#include "tform1.h"

#include <stdexcept>
#include <string>

#include "progress_display.h"
#include "resource_ids.h"
#include "usb_wizard_sm.h"
#include "wizard_ids.h"

namespace {

// The state machine: created by FormCreate, finished and destroyed by FormClose. Every handler
// tests it first, so messages that arrive before creation or after closing do nothing.
std::unique_ptr<USBWizardSM> WizardSM;

constexpr UINT_PTR kProgressTimerId = 1;  // the toolkit's own animation timer uses another id
constexpr UINT kProgressTimerInterval = 100;

std::unique_ptr<ui::Scene> LoadDescription(HINSTANCE instance) {
  std::string error;
  auto scene = ui::LoadSceneResource(instance, kWindowDescriptionResource, &error);
  if (!scene) throw std::runtime_error("The window description cannot be loaded. " + error);
  return scene;
}

i18n::TranslationTable LoadTranslationTable(HINSTANCE instance) {
  i18n::TranslationTable table;
  HRSRC found = FindResourceW(instance, kTranslationTableResource, MAKEINTRESOURCEW(10));
  HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes || !i18n::ReadTranslationTable(static_cast<const uint8_t*>(bytes),
                                            SizeofResource(instance, found), &table))
    throw std::runtime_error("The translation table cannot be loaded.");
  return table;
}

// "es" for a Spanish user: the first two letters of the locale's abbreviated language name.
std::wstring UserLanguageName() {
  wchar_t abbreviation[4] = {};
  if (!GetLocaleInfoW(GetUserDefaultLCID(), LOCALE_SABBREVLANGNAME, abbreviation, 4)) return {};
  return i18n::LanguageNameFromAbbreviation(abbreviation);
}

}  // namespace

TForm1::TForm1(HINSTANCE instance)
    : WizardForm(LoadDescription(instance), LoadTranslationTable(instance)) {
  TranslateAtLoad(UserLanguageName());
  Scene().SetClickHandler([this](ui::Control& control) { HandleClick(control); });
  window_.SetMessageHandler([this](UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
    return HandleMessage(message, wparam, lparam, result);
  });
  if (!window_.Create(instance, L"TovixScourletUSB", Scene(), Scene().Width(), Scene().Height()))
    throw std::runtime_error("The main window cannot be created.");
  Form1 = this;  // the states reach the window through it from FormCreate on
  FormCreate();
}

TForm1::~TForm1() {
  if (Form1 == this) Form1 = nullptr;
}

void TForm1::SetProgressTimerEnabled(bool enabled) {
  if (enabled)
    SetTimer(Handle(), kProgressTimerId, kProgressTimerInterval, nullptr);
  else
    KillTimer(Handle(), kProgressTimerId);
}

void TForm1::Close() { PostMessageW(Handle(), WM_CLOSE, 0, 0); }

void TForm1::FormCreate() {
  UserLCID = GetUserDefaultLCID();
  WizardSM = std::make_unique<USBWizardSM>();
  WizardSM->Init();
}

void TForm1::FormClose() {
  OutputDebugStringA("TForm1::FormClose\n");
  if (!WizardSM) return;
  WizardSM->Finish();
  WizardSM.reset();
}

void TForm1::Button1Click() {
  if (WizardSM) WizardSM->DispatchEvent(Start);
}

void TForm1::Layout6Click() {
  if (WizardSM) WizardSM->DispatchEvent(Refresh);
}

void TForm1::Button2Click() {
  if (WizardSM) WizardSM->DispatchEvent(Install);
}

void TForm1::Button3Click() {
  OutputDebugStringA("TForm1::Button3Click\n");
  if (WizardSM) WizardSM->DispatchEvent(WizardEvent::Close);
}

void TForm1::HudWindow1CloseClick() {
  OutputDebugStringA("TForm1::HudWindow1CloseClick\n");
  if (WizardSM) WizardSM->DispatchEvent(WindowClose);
}

void TForm1::TProgressTimerTimer() {
  OutputDebugStringA("TForm1::TProgressTimerTimer\n");
  if (!WizardSM) return;
  int percent = 0;
  std::wstring status;
  WizardSM->GetProgressInfo(percent, status);
  auto* bar = Scene().FindAs<ui::ProgressBar>("ProgressBar1");
  ui::Control* label = Control("Label11");
  if (bar && label) ShowProgress(*bar, *label, percent, status);
}

void TForm1::HandleClick(ui::Control& control) {
  const std::string& name = control.Name();
  if (name == "Button1") Button1Click();
  else if (name == "Layout6") Layout6Click();
  else if (name == "Button2") Button2Click();
  else if (name == "Button3") Button3Click();
  else if (control.Kind() == ui::ControlKind::CloseBox) HudWindow1CloseClick();
}

bool TForm1::HandleMessage(UINT message, WPARAM wparam, LPARAM, LRESULT* result) {
  switch (message) {
    case WM_WIZARD_SETSTATE:
      if (WizardSM) WizardSM->SetState(static_cast<int>(static_cast<int32_t>(wparam)));
      *result = 0;
      return true;
    case WM_TIMER:
      if (wparam != kProgressTimerId) return false;
      TProgressTimerTimer();
      *result = 0;
      return true;
    case WM_CLOSE:
      FormClose();
      DestroyWindow(Handle());
      *result = 0;
      return true;
    case WM_DESTROY:
      PostQuitMessage(0);
      return false;
    default:
      return false;
  }
}
