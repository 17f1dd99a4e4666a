// While one lives, the thread's file calls on a drive without a medium (a card reader without a
// card) fail at once instead of making the system ask the user to insert a disk.
#pragma once

#include <windows.h>

namespace win {

class NoDiskPrompts {
 public:
  NoDiskPrompts() { SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous_); }
  ~NoDiskPrompts() { SetThreadErrorMode(previous_, nullptr); }
  NoDiskPrompts(const NoDiskPrompts&) = delete;
  NoDiskPrompts& operator=(const NoDiskPrompts&) = delete;

 private:
  DWORD previous_ = 0;
};

}  // namespace win
