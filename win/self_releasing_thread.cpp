#include "win/self_releasing_thread.h"

namespace win {

DWORD WINAPI SelfReleasingThread::RunAndRelease(void* self) {
  std::unique_ptr<SelfReleasingThread> thread(static_cast<SelfReleasingThread*>(self));
  thread->Execute();
  return 0;
}

UniqueHandle SelfReleasingThread::Start(std::unique_ptr<SelfReleasingThread> thread) {
  UniqueHandle handle(CreateThread(nullptr, 0, RunAndRelease, thread.get(), 0, nullptr));
  if (handle) thread.release();  // the new thread owns it now
  return handle;
}

}  // namespace win
