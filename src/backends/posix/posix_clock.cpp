// Millisecond ticks and sleeps on CLOCK_MONOTONIC, which neither jumps with the wall clock nor
// stops counting while other processes run.
#include <time.h>

#include <cerrno>

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

void PosixClock::sleepMs(int32_t ms) {
  if (ms <= 0) return;
  // The deadline is counted from the start of the current tick rather than from now: a sleep
  // started late in a tick still ends when the tick count has grown by exactly ms, and a loop
  // of sleeps keeps to the tick grid instead of adding the part-tick each time.
  const int64_t tickStartMs = elapsedNs() / nsPerMs;
  const int64_t deadlineNs = originNs_ + (tickStartMs + ms) * nsPerMs;
  timespec deadline{};
  deadline.tv_sec = static_cast<time_t>(deadlineNs / nsPerSecond);
  deadline.tv_nsec = static_cast<long>(deadlineNs % nsPerSecond);
  // An absolute deadline makes a signal-interrupted sleep resume to the same end.
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}

}  // namespace tessaro::platform::posix
