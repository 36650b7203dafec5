// Millisecond ticks and sleeps on CLOCK_MONOTONIC, which neither jumps with the wall clock nor
// stops counting while other processes run.
#include <time.h>

#include <cerrno>
#include <chrono>
#include <mutex>

#include "backends/posix/posix_platform.h"

namespace tessaro::platform::posix {

namespace {

constexpr int64_t nsPerMs = 1'000'000;
constexpr int64_t nsPerSecond = 1'000'000'000;

int64_t monotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * nsPerSecond + now.tv_nsec;
}

}  // namespace

PosixClock::PosixClock() : originNs_(monotonicNs()) {}

int64_t PosixClock::elapsedNs() const {
  return monotonicNs() - originNs_;
}

uint32_t PosixClock::tickMs() {
  return static_cast<uint32_t>(elapsedNs() / nsPerMs);
}

// The deadline is counted from the start of the current tick rather than from now: a sleep
// started late in a tick still ends when the tick count has grown by exactly ms, and a loop of
// sleeps keeps to the tick grid instead of adding the part-tick each time.
int64_t PosixClock::deadlineNs(int32_t ms) const {
  const int64_t tickStartMs = elapsedNs() / nsPerMs;
  return originNs_ + (tickStartMs + ms) * nsPerMs;
}

namespace {

void sleepUntil(int64_t deadlineNs) {
  timespec deadline{};
  deadline.tv_sec = static_cast<time_t>(deadlineNs / nsPerSecond);
  deadline.tv_nsec = static_cast<long>(deadlineNs % nsPerSecond);
  // An absolute deadline makes a signal-interrupted sleep resume to the same end.
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}

// The last stretch before a deadline is slept, not waited on a condition variable.
constexpr int64_t preciseTailNs = 10 * nsPerMs;

}  // namespace

void PosixClock::sleepMs(int32_t ms) {
  if (ms <= 0) return;
  sleepUntil(deadlineNs(ms));
}

void PosixClock::sleepMs(int32_t ms, Wakeup& wakeup) {
  if (ms <= 0) return;
  const int64_t deadline = deadlineNs(ms);
  {
    // steady_clock counts CLOCK_MONOTONIC here, the clock the deadline is on.
    const std::chrono::steady_clock::time_point early{
        std::chrono::nanoseconds(deadline - preciseTailNs)};
    std::unique_lock lock(wakeup.mutex);
    if (wakeup.changed.wait_until(lock, early, [&wakeup] { return wakeup.woken; })) return;
  }
  sleepUntil(deadline);
}

}  // namespace tessaro::platform::posix
