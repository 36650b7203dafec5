// Stopping: every note the player sent and did not end gets its own note-off, then the module
// is reset with GM System On.
#include "player/engine.h"

namespace tessaro {

int silenceAll(Engine& engine) {
  PlayerState& s = engine.state;
  for (int c = 0; c < ChannelCount; ++c) {
    for (int k = 0; k < 128; ++k) {
      int32_t& count = s.soundingNotes[static_cast<size_t>(c)][static_cast<size_t>(k)];
      for (int32_t i = 0; i < count; ++i) {
        sendShortMessage(engine.port, 0x80 + c, k, 0);
        engine.clock.sleepMs(3);
      }
      count = 0;
    }
  }
  engine.clock.sleepMs(50);
  engine.observer.waiting();
  return 0;
}

int stopPlayback(Engine& engine) {
  PlayerState& s = engine.state;
  s.playRequest = 0;
  s.threadStatus = 0;
  while (engine.thread && !engine.thread->hasEnded()) engine.clock.sleepMs(20);
  silenceAll(engine);
  sendGmSystemOn(engine.port);
  return 0;
}

}  // namespace tessaro
