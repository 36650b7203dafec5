// Stopping: every note the song sent and did not end gets its own note-off, then the module
// is reset with GM System On.
#include "player/engine.h"

namespace tessaro {

int silenceAll(Engine& engine) {
  engine.stage.silence();
  engine.observer.waiting();
  return 0;
}

int stopPlayback(Engine& engine) {
  PlayerState& s = engine.state;
  s.playRequest = 0;
  s.threadStatus = 0;
  // A stop that interrupted a held line's write has its stop sequence written all the same.
  resumeOutput(engine.port);
  silenceAll(engine);
  sendGmSystemOn(engine.port);
  return 0;
}

}  // namespace tessaro
