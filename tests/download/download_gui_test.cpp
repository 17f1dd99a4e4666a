// The real proxy-credentials dialog: a proxy answers 407, WinINet's own dialog comes up, and
// xdotool types the credentials into it and presses Enter, as a user would. Runs on its own
// Xvfb display (see xvfb-wine-run).
#include <gtest/gtest.h>

#include <thread>

#include "download/download_engine.h"
#include "tests/download/http_test_server.h"
#include "tests/download/proxy_settings_override.h"

namespace {

struct DialogSearch {
  HWND dialog = nullptr;
  static BOOL CALLBACK Visit(HWND window, LPARAM param) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
        wcscmp(name, L"#32770") == 0) {
      reinterpret_cast<DialogSearch*>(param)->dialog = window;
      return FALSE;
    }
    return TRUE;
  }
};

std::vector<HWND> EditFields(HWND dialog) {
  std::vector<HWND> edits;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[32] = {};
    GetClassNameW(child, name, 32);
    if (_wcsicmp(name, L"Edit") == 0 && IsWindowVisible(child)) edits.push_back(child);
  }
  return edits;
}

std::wstring Centre(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return std::to_wstring((r.left + r.right) / 2) + L" " + std::to_wstring((r.top + r.bottom) / 2);
}

// Finds the dialog, then has xdotool click each field, type into it and press Enter.
bool AnswerDialogWithXdotool(std::wstring* failure) {
  DialogSearch search;
  for (int i = 0; i < 600 && !search.dialog; ++i) {
    EnumWindows(&DialogSearch::Visit, reinterpret_cast<LPARAM>(&search));
    if (!search.dialog) Sleep(50);
  }
  if (!search.dialog) return *failure = L"no dialog appeared", false;
  Sleep(300);  // let it finish painting and take focus
  const std::vector<HWND> edits = EditFields(search.dialog);
  if (edits.size() < 2) return *failure = L"the dialog has fewer than two edit fields", false;
  // `xdotool type` takes every later word as text, so each action is its own xdotool run,
  // in order, under one shell (Wine gives no handle to wait on a Unix child).
  std::wstring command = L"sh -c \"xdotool mousemove " + Centre(edits[0]) +
                         L" click 1 && xdotool type proxyuser && xdotool mousemove " +
                         Centre(edits[1]) +
                         L" click 1 && xdotool type proxypass && xdotool key Return\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(L"Z:\\bin\\sh", &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return *failure = L"cannot run xdotool", false;
  if (process.hThread) CloseHandle(process.hThread);
  if (process.hProcess) CloseHandle(process.hProcess);
  return true;
}

TEST(DownloadProxyDialog, CredentialsTypedIntoTheRealDialogRetryTheRequest) {
  wchar_t display[64];
  if (!GetEnvironmentVariableW(L"DISPLAY", display, 64) ||
      GetFileAttributesW(L"Z:\\usr\\bin\\xdotool") == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "needs an X display (Xvfb) and xdotool";

  TestServer server;
  ASSERT_TRUE(server.running());
  ProxySettingsOverride settings;
  settings.Set(1, L"127.0.0.1:" + std::to_wstring(server.port()));
  const std::wstring file = TestFilePath(L"dialog.bin");

  DownloadEngine engine(nullptr, false);
  std::wstring failure;
  bool answered = false;
  std::thread user([&] { answered = AnswerDialogWithXdotool(&failure); });
  const bool ok =
      engine.Download(L"http://rescue.example.invalid/file/40000", file.c_str(), nullptr);
  user.join();
  EXPECT_TRUE(engine.Shutdown());
  ASSERT_TRUE(answered) << std::string(failure.begin(), failure.end());
  EXPECT_TRUE(ok);
  EXPECT_EQ(ReadFileBytes(file), PatternBytes(40000));
  DeleteFileW(file.c_str());
}

}  // namespace
