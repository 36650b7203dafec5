// The player thread: a std::thread held at a gate until resume(), so that its scheduling can be
// set before its body runs.
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>

#include "backends/posix/posix_platform.h"

namespace tessaro::platform::posix {

namespace {

// The lowest nice value the calling process may give a thread of its own, as RLIMIT_NICE puts
// it (20 - limit); -20 when the limit is unlimited.
int lowestPermittedNice() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NICE, &limit) != 0) return 20;
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= 40) return -20;
  return 20 - static_cast<int>(limit.rlim_cur);
}

}  // namespace

PosixPlayerThread::PosixPlayerThread(std::function<void()> body)
    : thread_([this, body = std::move(body)]() mutable { main(std::move(body)); }) {
  // Wait until the thread has told its id, so that setTimeCritical can reach it at once.
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return tid_ != 0; });
}

PosixPlayerThread::~PosixPlayerThread() {
  {
    std::lock_guard lock(mutex_);
    if (start_ == Start::waiting) start_ = Start::cancel;
  }
  changed_.notify_all();
  thread_.join();
}

void PosixPlayerThread::main(std::function<void()> body) {
  Start start;
  {
    std::unique_lock lock(mutex_);
    tid_ = gettid();
    changed_.notify_all();
    changed_.wait(lock, [this] { return start_ != Start::waiting; });
    start = start_;
  }
  if (start != Start::run) return;
  body();
  // Release order: whoever sees the flag set also sees everything the body wrote.
  ended_.store(true, std::memory_order_release);
}

bool PosixPlayerThread::setTimeCritical() {
  const int fifoMax = sched_get_priority_max(SCHED_FIFO);
  if (fifoMax < 0) return false;
  // One below the top leaves the highest level to the kernel's own real-time helpers.
  sched_param param{};
  param.sched_priority = fifoMax > 1 ? fifoMax - 1 : fifoMax;
  int error = pthread_setschedparam(thread_.native_handle(), SCHED_FIFO, &param);
  if (error == 0) return true;
  if (error == EPERM) {
    // Without privilege RLIMIT_RTPRIO may still allow a lower real-time priority.
    rlimit limit{};
    if (getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur > 0 &&
        limit.rlim_cur != RLIM_INFINITY &&
        static_cast<int>(limit.rlim_cur) < param.sched_priority) {
      param.sched_priority = static_cast<int>(limit.rlim_cur);
      error = pthread_setschedparam(thread_.native_handle(), SCHED_FIFO, &param);
      if (error == 0) return true;
    }
  }
  if (error != EPERM) return false;
  // Real-time scheduling is refused (no privilege, or a control group without a real-time
  // budget). The thread stays in the normal scheduler, which counts as success just as the
  // system's own silent downgrade does; it gets the best nice value it may have, so that it at
  // least does not inherit a lowered main-thread priority.
  pid_t tid;
  {
    std::lock_guard lock(mutex_);
    tid = tid_;
  }
  errno = 0;
  const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  if (current == -1 && errno != 0) return false;  // the thread is gone
  const int best = lowestPermittedNice();
  if (best < current && setpriority(PRIO_PROCESS, static_cast<id_t>(tid), -20) != 0) {
    setpriority(PRIO_PROCESS, static_cast<id_t>(tid), best);
  }
  return true;
}

void PosixPlayerThread::resume() {
  {
    std::lock_guard lock(mutex_);
    if (start_ != Start::waiting) return;
    start_ = Start::run;
  }
  changed_.notify_all();
}

bool PosixPlayerThread::hasEnded() {
  return ended_.load(std::memory_order_acquire);
}

std::unique_ptr<PlayerThread> PosixThreads::createSuspended(std::function<void()> body) {
  return std::make_unique<PosixPlayerThread>(std::move(body));
}

}  // namespace tessaro::platform::posix
