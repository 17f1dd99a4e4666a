#include "builder/build_failure.h"

#include <cwchar>
#include <initializer_list>

namespace {

struct Placeholder {
  const wchar_t* name;
  std::wstring value;
};

// One pass over the translated text: a detail from the archive or the server that looks like a
// placeholder stays as it arrived.
std::wstring Filled(const std::wstring& text, std::initializer_list<Placeholder> placeholders) {
  std::wstring out;
  for (size_t at = 0; at < text.size();) {
    const Placeholder* found = nullptr;
    for (const Placeholder& placeholder : placeholders)
      if (text.compare(at, std::wcslen(placeholder.name), placeholder.name) == 0)
        found = &placeholder;
    if (found) {
      out += found->value;
      at += std::wcslen(found->name);
    } else {
      out += text[at++];
    }
  }
  return out;
}

std::wstring ExitCodeText(std::uint32_t code) {
  wchar_t text[16];
  std::swprintf(text, 16, code >= 0xC0000000u ? L"0x%08X" : L"%u", code);
  return text;
}

}  // namespace

const wchar_t* FailureLineKey(FailureReason reason) {
  switch (reason) {
    case FailureReason::kNone: return L"";
    case FailureReason::kWorkFolder:
      return L"Preparing: the working folder could not be made ready.";
    case FailureReason::kServerUnreachable: return L"Download: the server could not be reached.";
    case FailureReason::kHttpStatus:
      return L"Download: the server did not send {file} (status {status}).";
    case FailureReason::kDownloadCutOff: return L"Download: the download of {file} was cut off.";
    case FailureReason::kDownloadNotSaved: return L"Download: {file} could not be saved.";
    case FailureReason::kDownloadTooLong: return L"Download: {file} is larger than expected.";
    case FailureReason::kDownloadNoRoom:
      return L"Download: there is not enough free space for {file}.";
    case FailureReason::kDownloadFailed: return L"Download: the download of {file} failed.";
    case FailureReason::kLibrary:
      return L"Unpacking: the extraction library could not be loaded.";
    case FailureReason::kNotEnoughSpace: return L"Unpacking: not enough free space on {volume}.";
    case FailureReason::kArchiveDamaged: return L"Unpacking: the archive {file} is damaged.";
    case FailureReason::kTooMuchWork:
      return L"Unpacking: the archive {file} asks for too much work.";
    case FailureReason::kOutOfMemory:
      return L"Unpacking: not enough memory to unpack {file}.";
    case FailureReason::kEntryRefused:
      return L"Unpacking: {file} was refused to protect this computer, because of its entry {entry}";
    case FailureReason::kEntryNotWritten: return L"Unpacking: {entry} could not be written.";
    case FailureReason::kInstallerMissing:
      return L"Installing: the installer is missing from the archives.";
    case FailureReason::kInstallerNotAuthentic:
      return L"Installing: the installer is not authentic.";
    case FailureReason::kInstallerNotStarted: return L"Installing: the installer could not start.";
    case FailureReason::kInstallerExitCode:
      return L"Installing: the installer failed (code {code}).";
    case FailureReason::kAnotherBuild: return L"Installing: another build is running.";
    case FailureReason::kCancelled: return L"The build was stopped.";
    case FailureReason::kNotAuthentic:
      return L"Download: the download of {file} is not authentic.";
    case FailureReason::kOlderRelease:
      return L"Download: the rescue system is older than the one already used on this computer.";
  }
  return L"";
}

const wchar_t* FailureAdviceKey(FailureReason reason) {
  // A few pieces of advice serve every reason: what the user can do about it.
  constexpr const wchar_t* kConnection = L"Check the internet connection, then click Try again.";
  constexpr const wchar_t* kLater =
      L"Try again later. If it keeps failing, ask support for help and send them the log.";
  constexpr const wchar_t* kSpace =
      L"Free some space on the computer's disk, then click Try again.";
  constexpr const wchar_t* kRestart =
      L"Restart the computer, then click Try again. If it keeps failing, ask support for help "
      L"and send them the log.";
  switch (reason) {
    case FailureReason::kNone: return L"";
    case FailureReason::kServerUnreachable:
    case FailureReason::kDownloadCutOff:
    case FailureReason::kDownloadFailed: return kConnection;
    case FailureReason::kHttpStatus:
    case FailureReason::kDownloadTooLong:
    case FailureReason::kArchiveDamaged:
    case FailureReason::kTooMuchWork:
    case FailureReason::kEntryRefused:
    case FailureReason::kInstallerMissing:
    case FailureReason::kInstallerNotAuthentic:
    case FailureReason::kNotAuthentic:
    case FailureReason::kOlderRelease: return kLater;
    case FailureReason::kDownloadNotSaved:
    case FailureReason::kDownloadNoRoom:
    case FailureReason::kEntryNotWritten: return kSpace;
    case FailureReason::kNotEnoughSpace:
      return L"Free some space on {volume}, then click Try again.";
    case FailureReason::kWorkFolder:
    case FailureReason::kInstallerNotStarted: return kRestart;
    case FailureReason::kLibrary:
      return L"Download this program again from its publisher and run the new copy.";
    case FailureReason::kInstallerExitCode:
      return L"Use another USB drive, or check this one in another computer, then click Try "
             L"again.";
    case FailureReason::kAnotherBuild:
      return L"Close the other program that is creating a rescue USB drive, then click Try again.";
    case FailureReason::kCancelled: return L"Click Try again to start over.";
  }
  return L"";
}

namespace {

std::wstring FilledFailure(const wchar_t* key, const BuildFailure& failure,
                           const std::function<std::wstring(const wchar_t*)>& translate) {
  if (!*key) return {};
  return Filled(translate(key), {{L"{file}", failure.file},
                                 {L"{volume}", failure.volume},
                                 {L"{entry}", failure.entry},
                                 {L"{status}", std::to_wstring(failure.number)},
                                 {L"{code}", ExitCodeText(failure.number)}});
}

}  // namespace

std::wstring FailureLine(const BuildFailure& failure,
                         const std::function<std::wstring(const wchar_t*)>& translate) {
  return FilledFailure(FailureLineKey(failure.reason), failure, translate);
}

std::wstring FailureAdvice(const BuildFailure& failure,
                           const std::function<std::wstring(const wchar_t*)>& translate) {
  return FilledFailure(FailureAdviceKey(failure.reason), failure, translate);
}

std::wstring LogPathLine(const std::wstring& log_path,
                         const std::function<std::wstring(const wchar_t*)>& translate) {
  return Filled(translate(L"Details in {path}"), {{L"{path}", log_path}});
}
