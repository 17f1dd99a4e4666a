// Stand-in for the rescue-system installer "ColdInstall.exe".
//
//   ColdInstall.exe /S /P<letter>:
//
// Copies the rescue system that the downloaded archives carried (the folder "rescue" next to
// this program) onto the root of the given drive, file by file, reads every copy back and
// compares it with its source, and sets the named event "COLDINSTALL_EVENT" once per file
// written. Exit code 1 on success and 0 on failure: the installer contract counts any non-zero
// code as success.
//
// The event resets itself when the wizard's monitor takes a signal, and signals set while it is
// still set count once; so after each signal the installer waits (a little, bounded) until the
// signal was taken, and every file shows in the wizard's progress.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

extern "C" LONG NTAPI NtQueryEvent(HANDLE event, int information_class, void* information,
                                   ULONG length, ULONG* returned);

namespace {

constexpr int kSuccess = 1;
constexpr int kFailure = 0;

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct ArgvFree {
  void operator()(LPWSTR* argv) const { LocalFree(argv); }
};

struct EventBasicInformation {
  int type;
  LONG state;
};

void Signal(HANDLE event) {
  SetEvent(event);
  for (int waited = 0; waited < 2000; waited += 5) {
    EventBasicInformation info{};
    if (NtQueryEvent(event, 0, &info, sizeof info, nullptr) != 0 || info.state == 0) return;
    Sleep(5);
  }
}

// The drive root named by "/P<letter>:", or nothing when the command line is not
// "/S /P<letter>:" (switches in any order and case, /S optional).
std::optional<std::wstring> TargetFromCommandLine() {
  int argc = 0;
  std::unique_ptr<LPWSTR, ArgvFree> argv(CommandLineToArgvW(GetCommandLineW(), &argc));
  if (!argv) return std::nullopt;
  std::optional<std::wstring> target;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv.get()[i];
    if (arg.size() == 2 && arg[0] == L'/' && std::towupper(arg[1]) == L'S') continue;
    const bool drive_switch = arg.size() == 4 && arg[0] == L'/' && std::towupper(arg[1]) == L'P' &&
                              std::iswalpha(arg[2]) && arg[3] == L':';
    if (!drive_switch || target) return std::nullopt;
    target = std::wstring{static_cast<wchar_t>(std::towupper(arg[2])), L':', L'\\'};
  }
  return target;
}

fs::path OwnFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return fs::path();
    if (length < path.size()) {
      path.resize(length);
      return fs::path(path).parent_path();
    }
    path.resize(path.size() * 2);
  }
}

std::optional<std::vector<char>> ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return std::nullopt;
  return bytes;
}

bool WriteBytes(const fs::path& file, const std::vector<char>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

// Copies one file and reads the copy back: the drive must hold exactly the source's bytes.
bool CopyVerified(const fs::path& source, const fs::path& target) {
  std::optional<std::vector<char>> bytes = ReadBytes(source);
  if (!bytes || !WriteBytes(target, *bytes)) return false;
  std::optional<std::vector<char>> written = ReadBytes(target);
  return written && *written == *bytes;
}

// A stand-in for a slow installer, for runs that need to catch it at work: milliseconds to
// wait after each file, from "ColdInstall.pause" next to the program (none when it is absent).
DWORD PausePerFile(const fs::path& own) {
  std::ifstream in(own / L"ColdInstall.pause");
  unsigned long ms = 0;
  return (in >> ms) ? static_cast<DWORD>(std::min(ms, 60000ul)) : 0;
}

// A stand-in held at work until a test lets it go: after its first file it waits (at most two
// minutes) for the file named in "ColdInstall.gate" next to the program, when that is present.
void WaitAtGate(const fs::path& own) {
  std::ifstream in(own / L"ColdInstall.gate");
  std::string gate;
  if (!std::getline(in, gate) || gate.empty()) return;
  std::error_code error;
  for (int waited = 0; waited < 1200 && !fs::exists(fs::u8path(gate), error); ++waited) Sleep(100);
}

// Copies the rescue system beside the program (own\rescue) onto the target drive.
int Install(const fs::path& own, const fs::path& target) {
  const fs::path source = own / L"rescue";
  const DWORD pause = PausePerFile(own);
  std::error_code error;
  if (!fs::is_directory(source, error)) return kFailure;
  // The wizard creates the event; run alone, the installer simply has nobody to tell.
  constexpr DWORD kQueryState = 0x0001;  // EVENT_QUERY_STATE, which mingw-w64's headers lack
  UniqueHandle progress(OpenEventW(EVENT_MODIFY_STATE | kQueryState, FALSE, L"COLDINSTALL_EVENT"));

  int files = 0;
  for (fs::recursive_directory_iterator it(source, error), end; !error && it != end;
       it.increment(error)) {
    const fs::path destination = target / fs::relative(it->path(), source, error);
    if (error) return kFailure;
    if (it->is_directory(error)) {
      fs::create_directories(destination, error);
      if (error) return kFailure;
      continue;
    }
    if (!CopyVerified(it->path(), destination)) return kFailure;
    ++files;
    if (pause) Sleep(pause);
    if (progress) Signal(progress.get());
    if (files == 1) WaitAtGate(own);
  }
  return !error && files > 0 ? kSuccess : kFailure;
}

}  // namespace

// A GUI-subsystem program: started with CREATE_NEW_CONSOLE it still opens no console window.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::optional<std::wstring> target = TargetFromCommandLine();
  if (!target) return kFailure;
  const fs::path own = OwnFolder();
  if (own.empty()) return kFailure;
  return Install(own, fs::path(*target));
}
