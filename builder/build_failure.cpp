#include "builder/build_failure.h"

#include <cwchar>
#include <iterator>

#include "i18n/translation.h"

namespace {

std::wstring ExitCodeText(std::uint32_t code) {
  wchar_t text[16];
  std::swprintf(text, 16, code >= 0xC0000000u ? L"0x%08X" : L"%u", code);
  return text;
}

}  // namespace

namespace {

// A few pieces of advice serve every reason: what the user can do about it.
constexpr const wchar_t* kConnection = L"Check the internet connection, then click Try again.";
constexpr const wchar_t* kLater =
    L"Try again later. If it keeps failing, ask support for help and send them the log.";
constexpr const wchar_t* kSpace = L"Free some space on the computer's disk, then click Try again.";
constexpr const wchar_t* kRestart =
    L"Restart the computer, then click Try again. If it keeps failing, ask support for help "
    L"and send them the log.";

// Each reason's line and advice (English, and the keys of their translations), in the enum's
// order.
struct ReasonTexts {
  FailureReason reason;
  const wchar_t* line;
  const wchar_t* advice;
};

constexpr ReasonTexts kReasonTexts[] = {
    {FailureReason::kNone, L"", L""},
    {FailureReason::kWorkFolder, L"Preparing: the working folder could not be made ready.",
     kRestart},
    {FailureReason::kServerUnreachable, L"Download: the server could not be reached.", kConnection},
    {FailureReason::kHttpStatus, L"Download: the server did not send {file} (status {status}).",
     kLater},
    {FailureReason::kDownloadCutOff, L"Download: the download of {file} was cut off.", kConnection},
    {FailureReason::kDownloadNotSaved, L"Download: {file} could not be saved.", kSpace},
    {FailureReason::kDownloadTooLong, L"Download: {file} is larger than expected.", kLater},
    {FailureReason::kDownloadNoRoom, L"Download: there is not enough free space for {file}.",
     kSpace},
    {FailureReason::kDownloadFailed, L"Download: the download of {file} failed.", kConnection},
    {FailureReason::kLibrary, L"Unpacking: the extraction library could not be loaded.",
     L"Download this program again from its publisher and run the new copy."},
    {FailureReason::kNotEnoughSpace, L"Unpacking: not enough free space on {volume}.",
     L"Free some space on {volume}, then click Try again."},
    {FailureReason::kArchiveDamaged, L"Unpacking: the archive {file} is damaged.", kLater},
    {FailureReason::kTooMuchWork, L"Unpacking: the archive {file} asks for too much work.", kLater},
    {FailureReason::kOutOfMemory, L"Unpacking: not enough memory to unpack {file}.", kRestart},
    {FailureReason::kEntryRefused,
     L"Unpacking: {file} was refused to protect this computer, because of its entry {entry}",
     kLater},
    {FailureReason::kEntryNotWritten, L"Unpacking: {entry} could not be written.", kSpace},
    {FailureReason::kInstallerMissing, L"Installing: the installer is missing from the archives.",
     kLater},
    {FailureReason::kInstallerNotAuthentic, L"Installing: the installer is not authentic.", kLater},
    {FailureReason::kInstallerNotStarted, L"Installing: the installer could not start.", kRestart},
    {FailureReason::kInstallerExitCode, L"Installing: the installer failed (code {code}).",
     L"Use another USB drive, or check this one in another computer, then click Try again."},
    {FailureReason::kAnotherBuild, L"Installing: another build is running.",
     L"Close the other program that is creating a rescue USB drive, then click Try again."},
    {FailureReason::kCancelled, L"The build was stopped.", L"Click Try again to start over."},
    {FailureReason::kNotAuthentic, L"Download: the download of {file} is not authentic.", kLater},
    {FailureReason::kOlderRelease,
     L"Download: the rescue system is older than the one already used on this computer.", kLater},
};

constexpr bool InEnumOrder() {
  for (size_t i = 0; i < std::size(kReasonTexts); ++i)
    if (static_cast<size_t>(kReasonTexts[i].reason) != i) return false;
  return std::size(kReasonTexts) == static_cast<size_t>(FailureReason::kOlderRelease) + 1;
}
static_assert(InEnumOrder(), "one row per reason, in the enum's order");

const ReasonTexts& TextsOf(FailureReason reason) {
  const size_t index = static_cast<size_t>(reason);
  return index < std::size(kReasonTexts) ? kReasonTexts[index] : kReasonTexts[0];
}

}  // namespace

const wchar_t* FailureLineKey(FailureReason reason) { return TextsOf(reason).line; }

const wchar_t* FailureAdviceKey(FailureReason reason) { return TextsOf(reason).advice; }

namespace {

std::wstring FilledFailure(const wchar_t* key, const BuildFailure& failure,
                           const std::function<std::wstring(const wchar_t*)>& translate) {
  if (!*key) return {};
  return i18n::Filled(translate(key), {{L"{file}", failure.file},
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
  return i18n::Filled(translate(L"Details in {path}"), {{L"{path}", log_path}});
}
