// The time of whatever feeds the translation stage: the play clock of a song, or of a live
// session. The stage's pauses (a module taking a reset) hold the source's later events back;
// its fade-out runs on the source's milliseconds.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace tessaro {

class Timeline {
 public:
  virtual ~Timeline() = default;
  // Milliseconds on the source's clock.
  virtual int32_t now() = 0;
  // Holds every later event back shiftMs; sleepMs of them are waited now, the rest as part of
  // the next event's time.
  virtual void pause(int32_t shiftMs, int32_t sleepMs) = 0;
  // Waits ms without moving the music.
  virtual void sleep(int32_t ms) = 0;
};

// The play clock: the platform's millisecond count less an origin. Shifting the origin holds
// the music back without sleeping. Only the thread that owns the player moves it.
class PlayClock : public Timeline {
 public:
  explicit PlayClock(platform::Clock& clock) : clock_(clock) {}

  int32_t now() override { return static_cast<int32_t>(clock_.tickMs() - origin_); }
  void shift(int32_t ms) { origin_ += static_cast<uint32_t>(ms); }
  void pause(int32_t shiftMs, int32_t sleepMs) override {
    shift(shiftMs);
    clock_.sleepMs(sleepMs);
  }
  void sleep(int32_t ms) override { clock_.sleepMs(ms); }

 private:
  platform::Clock& clock_;
  uint32_t origin_ = 0;
};

}  // namespace tessaro
