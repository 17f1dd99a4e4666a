// What the install worker makes of its stages' reports: the download engine's outcome and the
// unpack client's report, in the log's English words and as the failure the error page names.
#pragma once

#include <string>

#include "builder/build_failure.h"
#include "download/download_outcome.h"
#include "unpack/unpack_archive.h"

// "complete", "server unreachable", "refused by the server", "cut off", ...
const wchar_t* DownloadOutcomeText(DownloadFailure failure);
// The failure of downloading `file`. A body that stalled until its attempt ran out of time is,
// to the user, a download that broke off; a failure this code does not know is a download that
// failed.
BuildFailure DownloadFailureOf(const DownloadOutcome& outcome, const std::wstring& file);

// "archive cut short", "entry refused: name leaves the folder", ...
const wchar_t* UnpackProblemText(UnpackProblem problem);
// The failure of unpacking `file` onto `volume` (named when it lacks room).
BuildFailure UnpackFailureOf(const UnpackReport& report, const std::wstring& file,
                             const std::wstring& volume);

// "C:" for a folder on C:\, the volume's mount path otherwise; the folder itself when the
// system does not say.
std::wstring VolumeOf(const std::wstring& folder);
