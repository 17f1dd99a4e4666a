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
    case FailureReason::kHttpStatus: return L"Download: the server answered {status} for {file}.";
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
      return L"Unpacking: {file} holds an entry that cannot be written safely: {entry}";
    case FailureReason::kEntryNotWritten: return L"Unpacking: {entry} could not be written.";
    case FailureReason::kInstallerMissing:
      return L"Installing: the installer is missing from the archives.";
    case FailureReason::kInstallerNotAuthentic:
      return L"Installing: the installer is not authentic.";
    case FailureReason::kInstallerNotStarted: return L"Installing: the installer could not start.";
    case FailureReason::kInstallerExitCode:
      return L"Installing: the installer ended with code {code}.";
    case FailureReason::kAnotherBuild: return L"Installing: another build is running.";
    case FailureReason::kCancelled: return L"The build was stopped.";
    case FailureReason::kNotAuthentic:
      return L"Download: the download of {file} is not authentic.";
    case FailureReason::kOlderRelease:
      return L"Download: the rescue system is older than the one already used on this computer.";
  }
  return L"";
}

std::wstring FailureLine(const BuildFailure& failure,
                         const std::function<std::wstring(const wchar_t*)>& translate) {
  const wchar_t* key = FailureLineKey(failure.reason);
  if (!*key) return {};
  return Filled(translate(key), {{L"{file}", failure.file},
                                 {L"{volume}", failure.volume},
                                 {L"{entry}", failure.entry},
                                 {L"{status}", std::to_wstring(failure.number)},
                                 {L"{code}", ExitCodeText(failure.number)}});
}

std::wstring LogPathLine(const std::wstring& log_path,
                         const std::function<std::wstring(const wchar_t*)>& translate) {
  return Filled(translate(L"Details in {path}"), {{L"{path}", log_path}});
}
