#include "win/self_releasing_thread.h"

#include "win/unique_resource.h"

namespace win {

DWORD WINAPI SelfReleasingThread::RunAndRelease(void* self) {
  std::unique_ptr<SelfReleasingThread> thread(static_cast<SelfReleasingThread*>(self));
  thread->Execute();
  return 0;
}

bool SelfReleasingThread::Start(std::unique_ptr<SelfReleasingThread> thread) {
  // The handle is not needed: the thread is never joined.
  const UniqueHandle handle(CreateThread(nullptr, 0, RunAndRelease, thread.get(), 0, nullptr));
  if (!handle) return false;
  thread.release();  // the new thread owns it now
  return true;
}

}  // namespace win
