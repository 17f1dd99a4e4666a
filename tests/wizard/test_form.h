// A wizard form for tests: the real window description and translation table, a real
// message-only window that receives the states' page requests, and a record of the timer and
// close calls that the main window would act on.
#pragma once

#include <windows.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "wizard_form.h"
#include "wizard_ids.h"

inline std::string ReadFileBytes(const char* path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error(std::string("cannot open ") + path);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

inline std::unique_ptr<ui::Scene> LoadWindowDescription() {
  std::string error;
  auto scene = ui::Scene::Load(ReadFileBytes(PROJECT_SOURCE_DIR "/app/window.ui"), &error);
  if (!scene) throw std::runtime_error(error);
  scene->Layout(scene->Width(), scene->Height());
  return scene;
}

inline i18n::TranslationTable LoadStoredTable() {
  const std::string bytes = ReadFileBytes(PROJECT_BINARY_DIR "/i18n/translations.bin");
  i18n::TranslationTable table;
  i18n::ReadTranslationTable(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &table);
  return table;
}

class TestForm : public WizardForm {
 public:
  explicit TestForm(uint32_t lcid) : WizardForm(LoadWindowDescription(), LoadStoredTable()) {
    UserLCID = lcid;
    window_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    Form1 = this;
  }
  ~TestForm() override {
    Form1 = nullptr;
    DestroyWindow(window_);
  }

  HWND Handle() const override { return window_; }
  void SetProgressTimerEnabled(bool enabled) override { timer_enabled = enabled; }
  void Close() override { ++close_calls; }

  // The page requests posted since the last call, oldest first.
  std::vector<int> TakeRequests() {
    std::vector<int> requests;
    MSG msg;
    while (PeekMessageW(&msg, window_, WM_WIZARD_SETSTATE, WM_WIZARD_SETSTATE, PM_REMOVE))
      requests.push_back(static_cast<int>(msg.wParam));
    return requests;
  }

  bool Shown(const char* name) {
    ui::Control* control = Control(name);
    return control && control->Visible() && control->Enabled();
  }
  bool Hidden(const char* name) {
    ui::Control* control = Control(name);
    return control && !control->Visible() && !control->Enabled();
  }

  bool timer_enabled = false;
  int close_calls = 0;

 private:
  HWND window_ = nullptr;
};
