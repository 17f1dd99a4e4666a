#include "builder/stage_outcomes.h"

#include <windows.h>

#include <cstddef>

#include "urar/urar.h"

namespace {

// Each outcome's words in the log and the reason the error page names, in the enums' order.
struct DownloadRow {
  DownloadFailure code;
  const wchar_t* text;
  FailureReason reason;
};

constexpr DownloadRow kDownloadRows[] = {
    {DownloadFailure::None, L"complete", FailureReason::kDownloadFailed},
    {DownloadFailure::NotStarted, L"not started", FailureReason::kDownloadFailed},
    {DownloadFailure::Unreachable, L"server unreachable", FailureReason::kServerUnreachable},
    {DownloadFailure::HttpStatus, L"refused by the server", FailureReason::kHttpStatus},
    {DownloadFailure::CutOff, L"cut off", FailureReason::kDownloadCutOff},
    // A body that stalled until its attempt ran out of time broke off, to the user.
    {DownloadFailure::TimedOut, L"timed out", FailureReason::kDownloadCutOff},
    {DownloadFailure::TooLong, L"longer than allowed", FailureReason::kDownloadTooLong},
    {DownloadFailure::NoRoom, L"not enough free space", FailureReason::kDownloadNoRoom},
    {DownloadFailure::FileWrite, L"file not written", FailureReason::kDownloadNotSaved},
    {DownloadFailure::Cancelled, L"cancelled", FailureReason::kCancelled},
};

struct UnpackRow {
  UnpackProblem code;
  const wchar_t* text;
  FailureReason reason;  // every problem of a whole archive not being there: damaged
};

constexpr UnpackRow kUnpackRows[] = {
    {UnpackProblem::kNone, L"none", FailureReason::kArchiveDamaged},
    {UnpackProblem::kNotBound, L"no library bound", FailureReason::kLibrary},
    {UnpackProblem::kUnreadableArchive, L"archive unreadable", FailureReason::kArchiveDamaged},
    {UnpackProblem::kNotAnArchive, L"not an archive", FailureReason::kArchiveDamaged},
    {UnpackProblem::kArchiveCut, L"archive cut short", FailureReason::kArchiveDamaged},
    {UnpackProblem::kVolumeSet, L"part of a volume set", FailureReason::kArchiveDamaged},
    {UnpackProblem::kEncryptedHeaders, L"encrypted headers", FailureReason::kArchiveDamaged},
    {UnpackProblem::kNoEntries, L"no entries", FailureReason::kArchiveDamaged},
    {UnpackProblem::kUnsafeName, L"entry refused: name leaves the folder",
     FailureReason::kEntryRefused},
    {UnpackProblem::kNameTooLong, L"entry refused: name too long", FailureReason::kEntryRefused},
    {UnpackProblem::kEntryTooLarge, L"entry refused: declared too large",
     FailureReason::kEntryRefused},
    {UnpackProblem::kNotEnoughSpace, L"not enough free space", FailureReason::kNotEnoughSpace},
    {UnpackProblem::kEntryFailed, L"entry damaged", FailureReason::kArchiveDamaged},
    {UnpackProblem::kWriteFailed, L"entry not written", FailureReason::kEntryNotWritten},
    {UnpackProblem::kNoMemory, L"out of memory", FailureReason::kOutOfMemory},
    {UnpackProblem::kDiskFull, L"disk full", FailureReason::kNotEnoughSpace},
    {UnpackProblem::kCancelled, L"cancelled", FailureReason::kCancelled},
};

template <typename Row, size_t N>
constexpr bool InEnumOrder(const Row (&rows)[N], size_t count) {
  for (size_t i = 0; i < N; ++i)
    if (static_cast<size_t>(rows[i].code) != i) return false;
  return N == count;
}
static_assert(InEnumOrder(kDownloadRows, static_cast<size_t>(DownloadFailure::Cancelled) + 1));
static_assert(InEnumOrder(kUnpackRows, static_cast<size_t>(UnpackProblem::kCancelled) + 1));

// The row of `code`; a code this table does not know gets `unknown`.
template <typename Row, size_t N, typename Code>
const Row& RowOf(const Row (&rows)[N], Code code, const Row& unknown) {
  const size_t index = static_cast<size_t>(code);
  return index < N ? rows[index] : unknown;
}

constexpr DownloadRow kUnknownDownload{DownloadFailure::None, L"failed",
                                       FailureReason::kDownloadFailed};
constexpr UnpackRow kUnknownProblem{UnpackProblem::kNone, L"unknown",
                                    FailureReason::kArchiveDamaged};

}  // namespace

const wchar_t* DownloadOutcomeText(DownloadFailure failure) {
  return RowOf(kDownloadRows, failure, kUnknownDownload).text;
}

BuildFailure DownloadFailureOf(const DownloadOutcome& outcome, const std::wstring& file) {
  BuildFailure failure{RowOf(kDownloadRows, outcome.failure, kUnknownDownload).reason, file};
  if (failure.reason == FailureReason::kHttpStatus) failure.number = outcome.http_status;
  return failure;
}

const wchar_t* UnpackProblemText(UnpackProblem problem) {
  return RowOf(kUnpackRows, problem, kUnknownProblem).text;
}

std::wstring VolumeOf(const std::wstring& folder) {
  wchar_t volume[MAX_PATH] = L"";
  if (!GetVolumePathNameW(folder.c_str(), volume, MAX_PATH)) return folder;
  std::wstring path = volume;
  if (path.size() == 3 && path[1] == L':') path.pop_back();
  return path;
}

BuildFailure UnpackFailureOf(const UnpackReport& report, const std::wstring& file,
                             const std::wstring& volume) {
  BuildFailure failure{RowOf(kUnpackRows, report.problem, kUnknownProblem).reason, file};
  failure.entry = report.entry;
  switch (failure.reason) {
    case FailureReason::kCancelled: return BuildFailure{FailureReason::kCancelled};
    case FailureReason::kNotEnoughSpace: failure.volume = volume; break;
    case FailureReason::kArchiveDamaged:  // an entry the library gave up on as too much work
      if (report.problem == UnpackProblem::kEntryFailed &&
          report.library_code == URAR_ENTRY_TOO_MUCH_WORK)
        failure.reason = FailureReason::kTooMuchWork;
      break;
    case FailureReason::kEntryNotWritten:
      if (failure.entry.empty()) failure.entry = file;
      break;
    default: break;
  }
  return failure;
}
