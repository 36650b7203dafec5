// The Linux player thread: held until resumed, ended visibly, scheduled as well as permitted.
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "backends/posix/posix_platform.h"

namespace tessaro::platform::posix {
namespace {

// Polls hasEnded for up to a generous bound.
bool waitForEnd(PlayerThread& thread) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!thread.hasEnded() && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return thread.hasEnded();
}

TEST(PosixThreads, BodyRunsOnlyAfterResumeAndItsWritesAreSeenOnceEnded) {
  std::atomic<bool> started{false};
  std::vector<int> written;  // plain data: hasEnded must order it before the reader
  auto thread = PosixThreads().createSuspended([&] {
    started = true;
    for (int i = 0; i < 1000; ++i) written.push_back(i);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(started);
  EXPECT_FALSE(thread->hasEnded());
  thread->resume();
  thread->resume();  // a second resume changes nothing
  ASSERT_TRUE(waitForEnd(*thread));
  EXPECT_EQ(written.size(), 1000u);
}

TEST(PosixThreads, DestroyingWaitsForAResumedBodyAndSkipsAnUnresumedOne) {
  for (bool resumed : {false, true}) {
    std::atomic<bool> finished{false};
    auto thread = PosixThreads().createSuspended([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      finished = true;
    });
    if (resumed) thread->resume();
    thread.reset();
    EXPECT_EQ(finished, resumed);
  }
}

// Real-time scheduling where this process may have it; where it is refused, the normal
// scheduler is a silent fallback that still counts as success.
TEST(PosixThreads, TimeCriticalBeforeResumeSchedulesTheBodyAsPermitted) {
  for (bool privileged : {true, false}) {
    auto run = [&] {
      const rlimit none{0, 0};
      if (!privileged && geteuid() == 0 && setresuid(65534, 65534, 65534) != 0) std::_Exit(3);
      if (!privileged && setrlimit(RLIMIT_RTPRIO, &none) != 0) std::_Exit(3);
      bool permitted = false;
      std::thread probe([&] {
        const sched_param param{1};
        permitted = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
      });
      probe.join();
      std::atomic<int> policy{-1};
      auto thread = PosixThreads().createSuspended([&] { policy = sched_getscheduler(0); });
      if (!thread->setTimeCritical()) std::_Exit(4);
      thread->resume();
      thread.reset();
      std::_Exit(policy == (permitted ? SCHED_FIFO : SCHED_OTHER) ? 0 : 5);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "") << privileged;
  }
}

}  // namespace
}  // namespace tessaro::platform::posix
