// A thread object that is constructed first and started later, and once started belongs to its
// own thread: the thread deletes it when Execute returns. Nobody joins it, so whatever Execute
// touches must be kept alive by the object itself (shared ownership), never by the starter
// waiting.
#pragma once

#include <windows.h>

#include <memory>

namespace win {

class SelfReleasingThread {
 public:
  SelfReleasingThread() = default;
  SelfReleasingThread(const SelfReleasingThread&) = delete;
  SelfReleasingThread& operator=(const SelfReleasingThread&) = delete;
  virtual ~SelfReleasingThread() = default;

  // Runs thread->Execute() on a new thread that then deletes the object. False, with the object
  // deleted at once, when no thread can be created.
  static bool Start(std::unique_ptr<SelfReleasingThread> thread);

 protected:
  virtual void Execute() = 0;

 private:
  static DWORD WINAPI RunAndRelease(void* self);
};

}  // namespace win
