#include "win/open_as_user.h"

#include <windows.h>
#include <exdisp.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <string>

#include "win/unique_resource.h"

namespace win {
namespace {

using Microsoft::WRL::ComPtr;

bool Elevated() {
  UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return true;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  // Unknown counts as elevated: the file is then only opened through the shell.
  return !GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) ||
         elevation.TokenIsElevated != 0;
}

// The desktop shell's dispatch object: the desktop's window, its browser, its view's background
// object and that object's application.
ComPtr<IShellDispatch2> DesktopShell() {
  ComPtr<IShellWindows> windows;
  if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER,
                              IID_PPV_ARGS(&windows))))
    return nullptr;
  VARIANT location{};
  location.vt = VT_I4;
  location.lVal = CSIDL_DESKTOP;
  VARIANT root{};  // VT_EMPTY
  long window = 0;
  ComPtr<IDispatch> desktop;
  if (windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, &desktop) !=
          S_OK ||
      !desktop)
    return nullptr;
  ComPtr<IServiceProvider> services;
  ComPtr<IShellBrowser> browser;
  ComPtr<IShellView> view;
  ComPtr<IDispatch> background;
  ComPtr<IShellFolderViewDual> folder_view;
  ComPtr<IDispatch> application;
  ComPtr<IShellDispatch2> shell;
  if (FAILED(desktop.As(&services)) ||
      FAILED(services->QueryService(SID_STopLevelBrowser, IID_PPV_ARGS(&browser))) ||
      FAILED(browser->QueryActiveShellView(&view)) ||
      FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_PPV_ARGS(&background))) ||
      FAILED(background.As(&folder_view)) || FAILED(folder_view->get_Application(&application)) ||
      !application || FAILED(application.As(&shell)))
    return nullptr;
  return shell;
}

// A BSTR owned for one call.
struct Bstr {
  explicit Bstr(const std::wstring& text) : value(SysAllocString(text.c_str())) {}
  ~Bstr() { SysFreeString(value); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR value;
};

// The file with its own program; a file type without one (Wine knows no ".log") in Notepad,
// which every Windows has. The shell answers S_FALSE when it started nothing.
bool OpenThroughDesktopShell(const std::wstring& path) {
  ComPtr<IShellDispatch2> shell = DesktopShell();
  if (!shell) return false;
  VARIANT none{};  // no folder or verb: the default action
  VARIANT show{};
  show.vt = VT_I4;
  show.lVal = SW_SHOWNORMAL;
  Bstr file(path);
  if (file.value && shell->ShellExecute(file.value, none, none, none, show) == S_OK) return true;
  Bstr notepad(L"notepad.exe");
  Bstr quoted(L"\"" + path + L"\"");
  VARIANT arguments{};
  arguments.vt = VT_BSTR;
  arguments.bstrVal = quoted.value;
  return notepad.value && quoted.value &&
         shell->ShellExecute(notepad.value, arguments, none, none, show) == S_OK;
}

}  // namespace

bool OpenAsUser(const std::wstring& path) {
  if (OpenThroughDesktopShell(path)) return true;
  if (Elevated()) return false;
  return reinterpret_cast<INT_PTR>(
             ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) > 32;
}

}  // namespace win
