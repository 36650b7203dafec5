// The player thread: created suspended so that its priority is set before its body runs, then
// resumed; its end is seen by testing the thread handle without waiting. Also the priorities
// of the main thread and the process class.
#include <windows.h>

#include "backends/win32/win32_platform.h"

namespace tessaro::platform::win32 {

Win32PlayerThread::Win32PlayerThread(std::function<void()> body) : body_(std::move(body)) {
  DWORD id = 0;
  handle_ = CreateThread(nullptr, 0, &Win32PlayerThread::main, this, CREATE_SUSPENDED, &id);
}

Win32PlayerThread::~Win32PlayerThread() {
  if (handle_ == nullptr) return;
  if (!resumed_) {
    // Let the thread go without its body, so that nothing is left suspended for ever.
    cancelled_.store(true);
    ResumeThread(handle_);
  }
  WaitForSingleObject(handle_, INFINITE);
  CloseHandle(handle_);
}

unsigned long __stdcall Win32PlayerThread::main(void* self) {
  auto* thread = static_cast<Win32PlayerThread*>(self);
  if (!thread->cancelled_.load()) thread->body_();
  return 0;
}

bool Win32PlayerThread::setTimeCritical() {
  return handle_ != nullptr && SetThreadPriority(handle_, THREAD_PRIORITY_TIME_CRITICAL) != 0;
}

void Win32PlayerThread::resume() {
  if (handle_ == nullptr || resumed_) return;
  resumed_ = true;
  ResumeThread(handle_);
}

bool Win32PlayerThread::hasEnded() {
  // A thread that could not be created has nothing to play: it counts as ended, and the song
  // is stopped as after any other end of the player.
  if (handle_ == nullptr) return true;
  return WaitForSingleObject(handle_, 0) != WAIT_TIMEOUT;
}

std::unique_ptr<PlayerThread> Win32Threads::createSuspended(std::function<void()> body) {
  return std::make_unique<Win32PlayerThread>(std::move(body));
}

bool Win32Priorities::getMainPriority(int& priority) {
  const int value = GetThreadPriority(GetCurrentThread());
  if (value == THREAD_PRIORITY_ERROR_RETURN) return false;
  priority = value;
  return true;
}

bool Win32Priorities::setMainPriority(int priority) {
  return SetThreadPriority(GetCurrentThread(), priority) != 0;
}

bool Win32Priorities::setMainPriorityLowest() {
  return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST) != 0;
}

bool Win32Priorities::raiseProcessPriority() {
  return SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS) != 0;
}

}  // namespace tessaro::platform::win32
