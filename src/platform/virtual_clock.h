// A clock whose sleeps advance its time at once. The player run on it keeps every wait where
// real time would put it, as fast as the machine allows: offline conversion plays songs on it,
// and the tests play on it to read every message with its exact time.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace tessaro::platform {

class VirtualClock : public Clock {
 public:
  explicit VirtualClock(uint32_t start = 0) : now(start) {}
  uint32_t tickMs() override { return now; }
  void sleepMs(int32_t ms) override {
    if (ms <= 0) return;
    now += static_cast<uint32_t>(ms);
    slept(ms);
  }

  uint32_t now;

 protected:
  // Told of every sleep after the time has moved on.
  virtual void slept(int32_t /*ms*/) {}
};

}  // namespace tessaro::platform
