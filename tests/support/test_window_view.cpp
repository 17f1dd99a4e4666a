#include "tests/support/test_window_view.h"

#include "wizard/state_request.h"
#include "tests/support/window_description.h"

TestWindowView::TestWindowView(uint32_t lcid)
    : WindowView(LoadWindowDescription(), LoadStoredTranslationTable()) {
  user_lcid = lcid;
  window_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
}

TestWindowView::~TestWindowView() { DestroyWindow(window_); }

std::vector<int> TestWindowView::TakeRequests() {
  std::vector<int> requests;
  MSG msg;
  while (PeekMessageW(&msg, window_, WM_WIZARD_SETSTATE, WM_WIZARD_SETSTATE, PM_REMOVE))
    requests.push_back(static_cast<int>(msg.wParam));
  return requests;
}

bool TestWindowView::Shown(const char* name) {
  const ui::Control* control = Control(name);
  return control && control->Visible() && control->Enabled();
}

bool TestWindowView::Hidden(const char* name) {
  const ui::Control* control = Control(name);
  return control && !control->Visible() && !control->Enabled();
}
