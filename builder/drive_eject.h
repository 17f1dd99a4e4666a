// "Safely remove": ejecting the rescue drive once the build is done, so that everything written
// to it is on the medium before the user pulls it out.
#pragma once

#include <windows.h>

#include <string>

enum class EjectOutcome {
  kEjected,       // the drive can be pulled out now
  kInUse,         // a program holds files or windows open on it: it cannot be locked
  kNotSupported,  // the system or the drive cannot eject it
  kFailed,        // any other failure, with its error code
};

struct EjectResult {
  EjectOutcome outcome = EjectOutcome::kFailed;
  DWORD error = 0;  // the system's error code, when not ejected
};

// Locks the volume at `root` ("E:\"; nothing else may hold it open), dismounts it (the file
// system writes what it still holds), allows its medium to be removed and ejects it. The volume
// stays locked until it has been ejected, so nothing writes to it in between.
EjectResult EjectDrive(const std::wstring& root);

// The outcome the system's error code stands for when a step fails.
EjectOutcome EjectOutcomeOf(DWORD error);
