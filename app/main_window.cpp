#include "app/main_window.h"

#include <dbt.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

#include "app/resource_ids.h"
#include "wizard/state_request.h"
#include "wizard/trace_lines.h"
#include "win/resource.h"

namespace {

constexpr UINT_PTR kProgressTimerId = 1;  // the toolkit's own animation timer uses another id
constexpr UINT kProgressTimerInterval = 100;

std::unique_ptr<ui::Scene> LoadDescription(HINSTANCE instance) {
  std::string error;
  auto scene = ui::LoadSceneResource(instance, kWindowDescriptionResource, &error);
  if (!scene) throw std::runtime_error("The window description cannot be loaded. " + error);
  return scene;
}

i18n::TranslationTable LoadTranslationTable(HINSTANCE instance) {
  const std::string_view bytes = win::ResourceBytes(instance, kTranslationTableResource);
  i18n::TranslationTable table;
  if (bytes.empty() || !i18n::ReadTranslationTable(reinterpret_cast<const uint8_t*>(bytes.data()),
                                                   bytes.size(), &table))
    throw std::runtime_error("The translation table cannot be loaded.");
  return table;
}

// "es" for a Spanish user: the first two letters of the locale's abbreviated language name.
std::wstring UserLanguageName() {
  wchar_t abbreviation[4] = {};
  if (!GetLocaleInfoW(GetUserDefaultLCID(), LOCALE_SABBREVLANGNAME, abbreviation, 4)) return {};
  return i18n::LanguageNameFromAbbreviation(abbreviation);
}

// A volume arrived or left: the system tells every top-level window, with no registration.
bool IsVolumeChange(WPARAM event, LPARAM data) {
  if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return false;
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
  return header && header->dbch_devicetype == DBT_DEVTYP_VOLUME;
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance)
    : WindowView(LoadDescription(instance), LoadTranslationTable(instance)) {
  TranslateAtLoad(UserLanguageName());
  const Clickable& clickable = Clickables();
  clickable.start_button->SetClickHandler([this] { OnStartClick(); });
  clickable.refresh_link->SetClickHandler([this] { OnRefreshClick(); });
  clickable.install_button->SetClickHandler([this] { OnInstallClick(); });
  clickable.continue_button->SetClickHandler([this] { OnContinueClick(); });
  clickable.cancel_button->SetClickHandler([this] { OnCancelClick(); });
  clickable.close_button->SetClickHandler([this] { OnCloseButtonClick(); });
  clickable.close_box->SetClickHandler([this] { OnCloseBoxClick(); });
  // The finish pages' own buttons: events for the finish state, which knows the build's report.
  for (auto [button, event] : {std::pair{clickable.try_again_button, WizardEvent::Again},
                               std::pair{clickable.make_another_button, WizardEvent::Again},
                               std::pair{clickable.safely_remove_button, WizardEvent::SafelyRemove},
                               std::pair{clickable.open_log_button, WizardEvent::OpenLog},
                               std::pair{clickable.copy_log_button, WizardEvent::CopyLog}})
    button->SetClickHandler([this, event = event] {
      if (machine_) machine_->DispatchEvent(event);
    });
  window_.SetMessageHandler([this](UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
    return HandleMessage(message, wparam, lparam, result);
  });
  if (!window_.Create(instance, L"TovixScourletUSB", Scene(), Scene().Width(), Scene().Height()))
    throw std::runtime_error("The main window cannot be created.");
  OnCreate();
}

MainWindow::~MainWindow() = default;

void MainWindow::SetProgressTimerEnabled(bool enabled) {
  if (enabled)
    SetTimer(Window(), kProgressTimerId, kProgressTimerInterval, nullptr);
  else
    KillTimer(Window(), kProgressTimerId);
}

void MainWindow::Close() { PostMessageW(Window(), WM_CLOSE, 0, 0); }

bool MainWindow::ConfirmStopBuild() {
  const std::wstring title = LookupTranslation(L"Stop creating the rescue USB drive?");
  const std::wstring text = LookupTranslation(
      L"The rescue USB drive is not finished. Stop now and discard what was downloaded?");
  return MessageBoxW(Window(), text.c_str(), title.c_str(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// The trace lines below (wizard/trace_lines.h) keep the texts the system has always written to the
// debug output.

void MainWindow::OnCreate() {
  user_lcid = GetUserDefaultLCID();
  machine_ = std::make_unique<WizardStateMachine>(*this, ProgramBuildSettings());
  machine_->Init();
}

void MainWindow::OnClose() {
  OutputDebugStringA(trace_line::kFormClose);
  if (!machine_) return;
  machine_->Finish();
  machine_.reset();
}

void MainWindow::OnStartClick() {
  if (machine_) machine_->DispatchEvent(WizardEvent::Start);
}

void MainWindow::OnRefreshClick() {
  if (machine_) machine_->DispatchEvent(WizardEvent::Refresh);
}

void MainWindow::OnInstallClick() {
  if (machine_) machine_->DispatchEvent(WizardEvent::Install);
}

void MainWindow::OnContinueClick() {
  if (machine_) machine_->DispatchEvent(WizardEvent::Continue);
}

void MainWindow::OnCancelClick() {
  if (machine_) machine_->DispatchEvent(WizardEvent::Cancel);
}

void MainWindow::OnCloseButtonClick() {
  OutputDebugStringA(trace_line::kCloseButtonClick);
  if (machine_) machine_->DispatchEvent(WizardEvent::Close);
}

void MainWindow::OnCloseBoxClick() {
  OutputDebugStringA(trace_line::kCloseBoxClick);
  if (machine_) machine_->DispatchEvent(WizardEvent::WindowClose);
}

void MainWindow::OnProgressTimer() {
  OutputDebugStringA(trace_line::kProgressTimer);
  if (!machine_) return;
  ProgressSnapshot progress;  // 0 and no text, unless the current state has something to show
  machine_->GetProgressInfo(progress);
  ShowProgress(progress);
}

bool MainWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  switch (message) {
    case WM_WIZARD_SETSTATE:
      if (machine_) machine_->SetState(static_cast<int>(static_cast<int32_t>(wparam)));
      *result = 0;
      return true;
    case WM_TIMER:
      if (wparam != kProgressTimerId) return false;
      OnProgressTimer();
      *result = 0;
      return true;
    case WM_DEVICECHANGE:
      if (!IsVolumeChange(wparam, lparam)) return false;
      if (machine_) machine_->DispatchEvent(WizardEvent::DrivesChanged);
      *result = TRUE;
      return true;
    case WM_CLOSE:
      // Both the close box and Alt+F4 arrive here; a declined question keeps the window.
      *result = 0;
      if (machine_ && !machine_->ConfirmClose()) return true;
      OnClose();
      DestroyWindow(Window());
      return true;
    case WM_DESTROY: PostQuitMessage(0); return false;
    default: return false;
  }
}
