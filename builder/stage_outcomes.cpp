#include "builder/stage_outcomes.h"

#include <windows.h>

#include "urar/urar.h"

const wchar_t* DownloadOutcomeText(DownloadFailure failure) {
  switch (failure) {
    case DownloadFailure::None: return L"complete";
    case DownloadFailure::NotStarted: return L"not started";
    case DownloadFailure::Unreachable: return L"server unreachable";
    case DownloadFailure::HttpStatus: return L"refused by the server";
    case DownloadFailure::CutOff: return L"cut off";
    case DownloadFailure::TimedOut: return L"timed out";
    case DownloadFailure::TooLong: return L"longer than allowed";
    case DownloadFailure::NoRoom: return L"not enough free space";
    case DownloadFailure::FileWrite: return L"file not written";
    case DownloadFailure::Cancelled: return L"cancelled";
    default: return L"failed";
  }
}

BuildFailure DownloadFailureOf(const DownloadOutcome& outcome, const std::wstring& file) {
  BuildFailure failure{FailureReason::kDownloadFailed, file};
  switch (outcome.failure) {
    case DownloadFailure::Unreachable: failure.reason = FailureReason::kServerUnreachable; break;
    case DownloadFailure::HttpStatus:
      failure.reason = FailureReason::kHttpStatus;
      failure.number = outcome.http_status;
      break;
    case DownloadFailure::CutOff:
    case DownloadFailure::TimedOut: failure.reason = FailureReason::kDownloadCutOff; break;
    case DownloadFailure::FileWrite: failure.reason = FailureReason::kDownloadNotSaved; break;
    case DownloadFailure::TooLong: failure.reason = FailureReason::kDownloadTooLong; break;
    case DownloadFailure::NoRoom: failure.reason = FailureReason::kDownloadNoRoom; break;
    case DownloadFailure::Cancelled: failure.reason = FailureReason::kCancelled; break;
    default: break;
  }
  return failure;
}

const wchar_t* UnpackProblemText(UnpackProblem problem) {
  switch (problem) {
    case UnpackProblem::kNone: return L"none";
    case UnpackProblem::kNotBound: return L"no library bound";
    case UnpackProblem::kUnreadableArchive: return L"archive unreadable";
    case UnpackProblem::kNotAnArchive: return L"not an archive";
    case UnpackProblem::kArchiveCut: return L"archive cut short";
    case UnpackProblem::kVolumeSet: return L"part of a volume set";
    case UnpackProblem::kEncryptedHeaders: return L"encrypted headers";
    case UnpackProblem::kNoEntries: return L"no entries";
    case UnpackProblem::kUnsafeName: return L"entry refused: name leaves the folder";
    case UnpackProblem::kNameTooLong: return L"entry refused: name too long";
    case UnpackProblem::kEntryTooLarge: return L"entry refused: declared too large";
    case UnpackProblem::kNotEnoughSpace: return L"not enough free space";
    case UnpackProblem::kEntryFailed: return L"entry damaged";
    case UnpackProblem::kWriteFailed: return L"entry not written";
    case UnpackProblem::kNoMemory: return L"out of memory";
    case UnpackProblem::kDiskFull: return L"disk full";
    case UnpackProblem::kCancelled: return L"cancelled";
  }
  return L"unknown";
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
  BuildFailure failure{FailureReason::kArchiveDamaged, file};
  failure.entry = report.entry;
  switch (report.problem) {
    case UnpackProblem::kNotBound: failure.reason = FailureReason::kLibrary; break;
    case UnpackProblem::kUnsafeName:
    case UnpackProblem::kNameTooLong:
    case UnpackProblem::kEntryTooLarge: failure.reason = FailureReason::kEntryRefused; break;
    case UnpackProblem::kNotEnoughSpace:
    case UnpackProblem::kDiskFull:
      failure.reason = FailureReason::kNotEnoughSpace;
      failure.volume = volume;
      break;
    case UnpackProblem::kEntryFailed:
      if (report.libraryCode == URAR_ENTRY_TOO_MUCH_WORK) failure.reason = FailureReason::kTooMuchWork;
      break;
    case UnpackProblem::kNoMemory: failure.reason = FailureReason::kOutOfMemory; break;
    case UnpackProblem::kCancelled: failure = BuildFailure{FailureReason::kCancelled}; break;
    case UnpackProblem::kWriteFailed:
      failure.reason = FailureReason::kEntryNotWritten;
      if (failure.entry.empty()) failure.entry = file;
      break;
    default: break;  // every other problem: the archive is not whole or not readable
  }
  return failure;
}
