// What became of one download, beyond its yes or no: the wizard names the failure to the user
// and writes it to the build's log.
#pragma once

#include <windows.h>

#include <cstdint>

enum class DownloadFailure {
  None,         // the whole body arrived with a 2xx status
  NotStarted,   // the engine was shut down, or the URL or output file was unusable
  Unreachable,  // no answer: name lookup, connection or sending failed before any status
  HttpStatus,   // the server answered with a status outside 200-299 (`http_status`)
  CutOff,       // the body broke off before its announced length (and could not be resumed)
  TimedOut,     // no body byte came for the stall limit (and it could not be resumed)
  TooLong,      // the body announced or sent more than the download's maximum length
  NoRoom,       // the announced body is larger than the free space on the output file's volume
  FileWrite,    // the body could not be written to the output file
  Cancelled,    // the engine was shut down while the download ran
};

struct DownloadOutcome {
  DownloadFailure failure = DownloadFailure::NotStarted;
  DWORD http_status = 0;        // the last attempt's final status; 0 when there was none
  DWORD error = 0;              // the WinINet or system error that ended the transfer
  uint64_t bytes_received = 0;  // body bytes stored in the output file
  uint64_t content_length = 0;  // the announced length; 0 when none was announced
  uint32_t resumes = 0;         // range requests sent after the body broke off or stalled
  bool restarted = false;       // a resume was answered with the whole body: it started over
};
