// The end-to-end test's hands inside Wine, on the window titled <title>:
//   wizard_probe dump <title>      prints what assistive technology sees of it: one line per
//                                  accessible child of its client area, tab-separated:
//                                  description (the control name), role, state (hex), name,
//                                  value, location (x y w h, screen pixels); UTF-8.
//   wizard_probe post <title> <n>  posts message 1025 with wParam n, as the install worker does.
//   wizard_probe unplug <X:>       removes the drive letter from the object namespace, as the
//                                  mount manager does when a stick is pulled, and prints the
//                                  device it named; running processes see the change at once.
//   wizard_probe plug <X:> <dev>   names the device with the drive letter again.
//   wizard_probe hold <event>      makes the named event, as another build would, prints "held"
//                                  and keeps it until the probe is ended.
// Exit code 2 when the window or its accessible object cannot be found.
#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <string>

namespace {

class Bstr {
 public:
  ~Bstr() { SysFreeString(value_); }
  BSTR* Out() { return &value_; }
  std::string Utf8() const {
    if (!value_) return {};
    const int wide = static_cast<int>(SysStringLen(value_));
    const int size = WideCharToMultiByte(CP_UTF8, 0, value_, wide, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, value_, wide, text.data(), size, nullptr, nullptr);
    return text;
  }

 private:
  BSTR value_ = nullptr;
};

int Dump(HWND window) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IAccessible* client = nullptr;
  if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                        reinterpret_cast<void**>(&client))) ||
      !client)
    return 2;
  long count = 0;
  client->get_accChildCount(&count);
  for (long id = 1; id <= count; ++id) {
    VARIANT child;
    VariantInit(&child);
    child.vt = VT_I4;
    child.lVal = id;
    Bstr name, value, description;
    client->get_accName(child, name.Out());
    client->get_accValue(child, value.Out());
    client->get_accDescription(child, description.Out());
    VARIANT role, state;
    VariantInit(&role);
    VariantInit(&state);
    client->get_accRole(child, &role);
    client->get_accState(child, &state);
    long x = 0, y = 0, w = 0, h = 0;
    client->accLocation(&x, &y, &w, &h, child);
    std::printf("%s\t%ld\t%lx\t%s\t%s\t%ld %ld %ld %ld\n", description.Utf8().c_str(),
                role.vt == VT_I4 ? role.lVal : -1L, state.vt == VT_I4 ? state.lVal : 0L,
                name.Utf8().c_str(), value.Utf8().c_str(), x, y, w, h);
  }
  client->Release();
  CoUninitialize();
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  const std::wstring command = argv[1];
  if (command == L"unplug" && argc == 3) {
    wchar_t device[MAX_PATH] = {};
    if (!QueryDosDeviceW(argv[2], device, MAX_PATH)) return 1;
    std::printf("%ls\n", device);
    return DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_RAW_TARGET_PATH | DDD_EXACT_MATCH_ON_REMOVE,
                            argv[2], device)
               ? 0
               : 1;
  }
  if (command == L"plug" && argc == 4)
    return DefineDosDeviceW(DDD_RAW_TARGET_PATH, argv[2], argv[3]) ? 0 : 1;
  if (command == L"hold" && argc == 3) {
    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, argv[2]);
    if (!event) return 1;
    std::printf("held\n");
    std::fflush(stdout);
    Sleep(INFINITE);
  }
  HWND window = FindWindowW(nullptr, argv[2]);
  if (!window) return 2;
  if (command == L"dump") return Dump(window);
  if (command == L"post" && argc == 4)
    return PostMessageW(window, 1025, static_cast<WPARAM>(_wtoi(argv[3])), 0) ? 0 : 1;
  return 2;
}
