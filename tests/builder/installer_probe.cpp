// Stands in the installer's place to show how the wizard starts it. It writes what it was
// given (command line, startup flags, current folder), its process id and what it finds at the
// handle value named in probe_handle.txt (the maximum count of a semaphore there, else 0) to
// probe_report.txt next to itself, signals "COLDINSTALL_EVENT" as often as probe_plan.txt says
// ("signals exit-code [milliseconds to stay]"), and exits with the planned code. After each signal
// it waits until the wizard's monitor has taken the signal (the auto-reset event is clear again),
// so that every signal counts once.
#include <windows.h>

#include <cstdio>
#include <string>

#ifndef EVENT_QUERY_STATE
#define EVENT_QUERY_STATE 0x0001  // mingw-w64's headers lack it
#endif

extern "C" LONG NTAPI NtQueryEvent(HANDLE event, int information_class, void* information,
                                   ULONG length, ULONG* returned);
extern "C" LONG NTAPI NtQuerySemaphore(HANDLE semaphore, int information_class, void* information,
                                       ULONG length, ULONG* returned);

namespace {

struct EventBasicInformation {
  int type;
  LONG state;
};

struct SemaphoreBasicInformation {
  LONG current;
  LONG maximum;
};

// The maximum count of the semaphore at the handle value written in probe_handle.txt, or 0 when
// that value is no semaphore here (no file: 0 too).
LONG SemaphoreMaximumAt(const std::wstring& folder) {
  unsigned long long value = 0;
  if (FILE* file = _wfopen((folder + L"probe_handle.txt").c_str(), L"r")) {
    if (fscanf(file, "%llu", &value) != 1) value = 0;
    fclose(file);
  }
  SemaphoreBasicInformation info{};
  if (!value ||
      NtQuerySemaphore(reinterpret_cast<HANDLE>(value), 0, &info, sizeof info, nullptr) != 0)
    return 0;
  return info.maximum;
}

bool IsSignalled(HANDLE event) {
  EventBasicInformation info{};
  return NtQueryEvent(event, 0, &info, sizeof info, nullptr) == 0 && info.state != 0;
}

std::wstring OwnFolder() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring folder = OwnFolder();
  unsigned signals = 0, exit_code = 0, hold_ms = 0;
  if (FILE* plan = _wfopen((folder + L"probe_plan.txt").c_str(), L"r")) {
    if (fscanf(plan, "%u %u %u", &signals, &exit_code, &hold_ms) < 2) signals = exit_code = 0;
    fclose(plan);
  }

  STARTUPINFOW startup{};
  GetStartupInfoW(&startup);
  wchar_t current[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, current);
  // UTF-16 lines, written as they are.
  const std::wstring report = std::wstring(GetCommandLineW()) + L"\n" +
                              std::to_wstring(startup.dwFlags) + L"\n" + current + L"\n" +
                              std::to_wstring(GetCurrentProcessId()) + L"\n" +
                              std::to_wstring(SemaphoreMaximumAt(folder)) + L"\n";
  if (FILE* file = _wfopen((folder + L"probe_report.txt").c_str(), L"wb")) {
    fwrite(report.data(), sizeof(wchar_t), report.size(), file);
    fclose(file);
  }

  HANDLE event = OpenEventW(EVENT_MODIFY_STATE | EVENT_QUERY_STATE, FALSE, L"COLDINSTALL_EVENT");
  for (unsigned i = 0; event && i < signals; ++i) {
    SetEvent(event);
    // Bounded: with nobody listening, the probe gives up rather than hang the test.
    for (int waited = 0; IsSignalled(event) && waited < 10000; waited += 2) Sleep(2);
  }
  if (event) CloseHandle(event);
  Sleep(hold_ms);
  return static_cast<int>(exit_code);
}
