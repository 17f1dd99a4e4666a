// The entry point: initialises the common controls, creates the main window and runs the message
// loop until it is closed. An error that escapes is shown in an error box.
#include <windows.h>
#include <commctrl.h>

#include <exception>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "win/text.h"

namespace {

void ShowError(const std::wstring& message) {
  MessageBoxW(nullptr, message.c_str(), L"TovixScourletUSB", MB_OK | MB_ICONERROR);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // The program runs as administrator: no library it loads (nor any library those load) is
  // searched for in the program's folder, the current one or PATH, only in System32.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  try {
    // The window host starts COM and GDI+ itself; the common controls are the framework's.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    auto window = std::make_unique<MainWindow>(instance);
    ShowWindow(window->Window(), SW_SHOW);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  } catch (const std::exception& error) {
    ShowError(win::Widen(error.what()));
  } catch (...) {
    ShowError(L"");
  }
  return 0;
}
