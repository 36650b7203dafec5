// Millisecond ticks from timeGetTime with the system timer set to 1 ms, and waits that end at
// an absolute tick. A high-resolution waitable timer wakes the thread close to the deadline;
// without one (older systems) Sleep does, at the 1 ms timer period.
#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

#include "backends/win32/win32_platform.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace tessaro::platform::win32 {

namespace {

constexpr LONGLONG hundredNsPerMs = 10'000;

HANDLE createTimer() {
  return CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                TIMER_ALL_ACCESS);
}

}  // namespace

Win32Clock::Win32Clock(bool highResolution) {
  timeBeginPeriod(1);
  if (highResolution) {
    HANDLE probe = createTimer();
    highResolution_ = probe != nullptr;
    if (probe != nullptr) CloseHandle(probe);
  }
}

Win32Clock::~Win32Clock() {
  timeEndPeriod(1);
}

uint32_t Win32Clock::tickMs() {
  return timeGetTime();
}

// The main thread and the player thread sleep at the same time, so every wait has a timer of
// its own: two threads waiting on one timer would take each other's signal.
void Win32Clock::waitFor(uint32_t ms) {
  if (highResolution_) {
    HANDLE timer = createTimer();
    if (timer != nullptr) {
      LARGE_INTEGER due{};
      due.QuadPart = -static_cast<LONGLONG>(ms) * hundredNsPerMs;  // negative: relative
      const bool waited = SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) &&
                          WaitForSingleObject(timer, INFINITE) == WAIT_OBJECT_0;
      CloseHandle(timer);
      if (waited) return;
    }
  }
  Sleep(ms);
}

void Win32Clock::sleepMs(int32_t ms) {
  if (ms <= 0) return;
  // The deadline is a tick, not a length of time: a wait that wakes a little early waits again
  // for the rest, and a loop of sleeps keeps to the tick grid.
  const uint32_t deadline = timeGetTime() + static_cast<uint32_t>(ms);
  for (;;) {
    const int32_t remaining = static_cast<int32_t>(deadline - timeGetTime());
    if (remaining <= 0) return;
    waitFor(static_cast<uint32_t>(remaining));
  }
}

}  // namespace tessaro::platform::win32
