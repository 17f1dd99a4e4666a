// Why a build failed: the step and the reason, with what the user needs to act on it (the file,
// the server's status, the volume, the entry, the installer's exit code). The worker fills it
// where the build stops; the error page shows it as one translated line, and the build's log
// records it in English.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

enum class FailureReason {
  kNone,
  kWorkFolder,             // the working folder could not be made, or the library not written
  kServerUnreachable,      // no answer from the server
  kHttpStatus,             // the server answered `number` for `file`, not the file
  kDownloadCutOff,         // the body of `file` broke off or stalled
  kDownloadNotSaved,       // `file` could not be written to the working folder
  kDownloadTooLong,        // `file` announced or sent more than it may hold
  kDownloadNoRoom,         // `file` is larger than the working folder's free space
  kDownloadFailed,         // any other download failure of `file`
  kLibrary,                // the extraction library could not be loaded
  kNotEnoughSpace,         // `volume` lacks the room the archive declares
  kArchiveDamaged,         // `file` is not a whole, readable archive
  kTooMuchWork,            // `file` asks the library for more work than any real archive
  kOutOfMemory,            // the library had no memory for the window or model `file` needs
  kEntryRefused,           // `file` holds `entry`, which cannot be written safely
  kEntryNotWritten,        // `entry` of `file` could not be written
  kInstallerMissing,       // no installer among the unpacked files
  kInstallerNotAuthentic,  // unsigned, changed, or signed by a signer the build does not pin
  kInstallerNotStarted,    // the installer could not be started
  kInstallerExitCode,      // the installer ended with `number`, which means failure
  kAnotherBuild,           // another process held the installer's event
  kCancelled,              // the user stopped the build
  kNotAuthentic,           // `file` (an archive, the manifest or its signature) fails its check
  kOlderRelease,           // the manifest's release is lower than the one this computer used
};

struct BuildFailure {
  FailureReason reason = FailureReason::kNone;
  std::wstring file;         // the archive concerned
  std::wstring volume;       // the volume without room, e.g. "C:"
  std::wstring entry;        // the archive entry concerned
  std::uint32_t number = 0;  // the HTTP status or the installer's exit code
};

// What the finish page says of a build: why it failed (nothing when it succeeded), where its
// log was written (empty when none could be) and which drive it built.
struct BuildReport {
  BuildFailure failure;
  std::wstring log_path;
  std::wstring drive_root;  // the drive it built on, e.g. "E:\"
};

// The English text of the reason's line, with {file}, {status}, {volume}, {entry} and {code}
// where its details go; it is also the key of its translation. Empty for kNone.
const wchar_t* FailureLineKey(FailureReason reason);

// What the user can do about the reason (check the connection, try later, free space, use
// another drive, close the other program, ask support with the log): the English text, with
// {volume} where the volume goes, and the key of its translation. Empty for kNone.
const wchar_t* FailureAdviceKey(FailureReason reason);

// The line for `failure`: its key through `translate`, with the placeholders filled in. The
// installer's exit code shows in decimal, or in hex from 0xC0000000 up (a crash or a kill).
std::wstring FailureLine(const BuildFailure& failure,
                         const std::function<std::wstring(const wchar_t*)>& translate);

// The advice line for `failure`, translated and filled in the same way.
std::wstring FailureAdvice(const BuildFailure& failure,
                           const std::function<std::wstring(const wchar_t*)>& translate);

// The error page's pointer to the build's log: "Details in {path}" through `translate`.
std::wstring LogPathLine(const std::wstring& log_path,
                         const std::function<std::wstring(const wchar_t*)>& translate);
