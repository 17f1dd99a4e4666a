// A thread object that is constructed first and started later, and once started belongs to its
// own thread: the thread deletes it when Execute returns. Whatever Execute touches is kept alive
// by the object itself (shared ownership); the starter may join the thread through the handle
// Start returns, or let it go.
#pragma once

#include <windows.h>

#include <memory>

#include "win/unique_resource.h"

namespace win {

class SelfReleasingThread {
 public:
  SelfReleasingThread() = default;
  SelfReleasingThread(const SelfReleasingThread&) = delete;
  SelfReleasingThread& operator=(const SelfReleasingThread&) = delete;
  virtual ~SelfReleasingThread() = default;

  // Runs thread->Execute() on a new thread that then deletes the object, and returns the thread's
  // handle (signalled once the object is deleted). Empty, with the object deleted at once, when
  // no thread can be created.
  static UniqueHandle Start(std::unique_ptr<SelfReleasingThread> thread);

 protected:
  virtual void Execute() = 0;

 private:
  static DWORD WINAPI RunAndRelease(void* self);
};

}  // namespace win
