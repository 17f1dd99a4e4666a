// The entry point: initialises the common controls, creates the main window and
// runs the message loop until it is closed. An error that escapes is shown in an error box.
#include <windows.h>
#include <commctrl.h>

#include <exception>
#include <memory>
#include <stdexcept>
#include <string>

#include "tform1.h"

namespace {

std::wstring Widen(const char* text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 1) return {};
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
  wide.resize(static_cast<size_t>(length) - 1);
  return wide;
}

void ShowError(const std::wstring& message) {
  MessageBoxW(nullptr, message.c_str(), L"TovixScourletUSB", MB_OK | MB_ICONERROR);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  try {
    // The window host starts COM and GDI+ itself; the common controls are the framework's.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    auto form = std::make_unique<TForm1>(instance);  // sets Form1
    ShowWindow(form->Handle(), SW_SHOW);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  } catch (const std::exception& error) {
    Form1 = nullptr;
    ShowError(Widen(error.what()));
  } catch (...) {
    Form1 = nullptr;
    ShowError(L"");
  }
  return 0;
}
