// Requests: how the command layer (on the main thread) asks the thread that owns the player and
// the translation stage to change what only that thread writes. The owner takes them in the
// order given, at its next pass; a wait of the owner ends as soon as one comes. While no thread
// owns the player (no song plays), the command layer's thread is the owner and applies each
// request at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/platform.h"

namespace tessaro {

enum class RequestKind : uint8_t {
  stop,         // end what plays: the song stops, or the live session ends
  volume,       // the user's volume add value has changed
  fade,         // fade the song out
  resetModule,  // GM System On, with time for it
  faster,       // speed steps
  slower,
  normalSpeed,
  setRepeats,    // the repeat count = value, as the user set it
  stepRepeats,   // one repeat more (value > 0) or fewer
  pause,         // pause, or resume a paused song
  seekMeasures,  // to the start of a measure value measures on (below 0: back)
  seekTick,      // to the tick value (0: the song's start)
};

struct Request {
  RequestKind kind;
  int32_t value = 0;
};

class RequestQueue {
 public:
  // Command layer.
  void push(Request request);
  // Owner: the oldest request; false when none is waiting.
  bool take(Request& request);
  bool pending() const { return pending_.load(std::memory_order_acquire) != 0; }
  // Owner: sleeps ms on clock, or until a request comes.
  void wait(platform::Clock& clock, int32_t ms) { clock.sleepMs(ms, wakeup_); }
  // Called after every push, for an owner that waits on something else as well (an input).
  void setWaker(std::function<void()> waker);

 private:
  platform::Wakeup wakeup_;  // its mutex guards the queue and the waker too
  std::deque<Request> queue_;
  std::function<void()> waker_;
  std::atomic<size_t> pending_{0};
};

}  // namespace tessaro
