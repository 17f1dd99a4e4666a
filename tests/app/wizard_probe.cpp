// The end-to-end test's hands inside Wine, on the window titled <title>:
//   wizard_probe dump <title>      prints what assistive technology sees of it: one line per
//                                  accessible child of its client area, tab-separated: the
//                                  control name (its help topic; " item" added for a list's
//                                  items), role, state (hex), name, value, location (x y w h,
//                                  screen pixels); UTF-8.
//   wizard_probe post <title> <n>  posts message 1025 with wParam n, as the install worker does.
//   wizard_probe unplug <X:>       removes the drive letter from the object namespace, as the
//                                  mount manager does when a stick is pulled, and prints the
//                                  device it named; running processes see the change at once.
//   wizard_probe plug <X:> <dev>   names the device with the drive letter again.
//   wizard_probe devicechange <X:> arrival|removal
//                                  tells every top-level window that the volume arrived or left,
//                                  as the system does when a stick is plugged in or pulled out.
//   wizard_probe hold <event>      makes the named event, as another build would, prints "held"
//                                  and keeps it until the probe is ended.
// Exit code 2 when the window or its accessible object cannot be found.
#include <windows.h>
#include <dbt.h>
#include <oleacc.h>

#include <cstdio>
#include <cwctype>
#include <string>

#include "win/text.h"

namespace {

class Bstr {
 public:
  ~Bstr() { SysFreeString(value_); }
  BSTR* Out() { return &value_; }
  std::string Utf8() const {
    return value_ ? win::Narrow(std::wstring_view(value_, SysStringLen(value_))) : std::string();
  }

 private:
  BSTR value_ = nullptr;
};

int Dump(HWND window) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IAccessible* client = nullptr;
  if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT),
                                        __uuidof(IAccessible),
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
    Bstr name, value, control;
    long topic = 0;
    client->get_accName(child, name.Out());
    client->get_accValue(child, value.Out());
    client->get_accHelpTopic(control.Out(), child, &topic);
    VARIANT role, state;
    VariantInit(&role);
    VariantInit(&state);
    client->get_accRole(child, &role);
    client->get_accState(child, &state);
    long x = 0, y = 0, w = 0, h = 0;
    client->accLocation(&x, &y, &w, &h, child);
    const bool item = role.vt == VT_I4 && role.lVal == ROLE_SYSTEM_LISTITEM;
    std::printf("%s%s\t%ld\t%lx\t%s\t%s\t%ld %ld %ld %ld\n", control.Utf8().c_str(),
                item ? " item" : "", role.vt == VT_I4 ? role.lVal : -1L,
                state.vt == VT_I4 ? state.lVal : 0L, name.Utf8().c_str(), value.Utf8().c_str(), x,
                y, w, h);
  }
  client->Release();
  CoUninitialize();
  return 0;
}

// The system's notice of a volume arriving or leaving, with the volume's drive letter.
int BroadcastDeviceChange(const wchar_t* drive, const std::wstring& what) {
  const wchar_t letter = static_cast<wchar_t>(towupper(drive[0]));
  if (letter < L'A' || letter > L'Z' || (what != L"arrival" && what != L"removal")) return 2;
  DEV_BROADCAST_VOLUME volume{};
  volume.dbcv_size = sizeof(volume);
  volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
  volume.dbcv_unitmask = 1u << (letter - L'A');
  const WPARAM event = what == L"arrival" ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
  // Sent, not posted: the notice points at the volume's description, which the system copies
  // into each receiving process for this message. (Wine's BroadcastSystemMessageW did not
  // deliver it.)
  DWORD_PTR answer = 0;
  return SendMessageTimeoutW(HWND_BROADCAST, WM_DEVICECHANGE, event,
                             reinterpret_cast<LPARAM>(&volume), SMTO_ABORTIFHUNG, 10000, &answer)
             ? 0
             : 1;
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
  if (command == L"devicechange" && argc == 4) return BroadcastDeviceChange(argv[2], argv[3]);
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
