// The command layer's requests as the player carries them out, and the player's pass: the
// requests first, then the translation stage's fade step and volumes.
#include <algorithm>
#include <climits>

#include "player/engine.h"

namespace tessaro {

namespace {

int32_t saturatingAdd(int32_t a, int64_t b) {
  return static_cast<int32_t>(std::clamp<int64_t>(a + b, INT32_MIN, INT32_MAX));
}

void stepRepeats(PlayerState& s, int32_t step) {
  s.repeatSetByUser = 255;
  int32_t count = s.repeatCount;
  if (step > 0) {
    s.repeatCount = count < 0 ? 0 : saturatingAdd(count, 1);
  } else {
    s.repeatCount = count <= 0 ? 0 : count - 1;
  }
}

void apply(Engine& engine, const Request& request) {
  PlayerState& s = engine.state;
  switch (request.kind) {
    case RequestKind::stop:
      s.playRequest = 0;
      s.stopRequested = 255;
      break;
    case RequestKind::volume:
      engine.stage.userVolumeChanged();
      break;
    case RequestKind::fade:
      engine.stage.startFade();
      break;
    case RequestKind::resetModule:
      engine.stage.resetModule();
      // Resumed, the song sends the module's state again.
      if (s.paused) s.chaseOnResume = 1;
      break;
    case RequestKind::faster:
      s.speedDivisor = fasterSpeed(s.speedDivisor);
      break;
    case RequestKind::slower:
      s.speedDivisor = slowerSpeed(s.speedDivisor);
      break;
    case RequestKind::normalSpeed:
      s.speedDivisor = DefaultSpeedDivisor;
      break;
    case RequestKind::setRepeats:
      s.repeatCount = request.value;
      s.repeatSetByUser = 255;
      break;
    case RequestKind::stepRepeats:
      stepRepeats(s, request.value);
      break;
    case RequestKind::pause:
      if (s.paused) {
        s.paused = false;
      } else {
        s.pauseAsked ^= 1;
      }
      break;
    case RequestKind::seekMeasures: {
      int32_t from = s.seekTarget >= 0 ? s.seekTarget : currentTick(engine);
      s.seekTarget =
          measureStepTarget(ticksPerQuarterOf(engine.song.division), from, request.value);
      break;
    }
    case RequestKind::seekTick:
      s.seekTarget = std::max(request.value, 0);
      break;
  }
}

}  // namespace

int32_t fasterSpeed(int32_t divisor) {
  return static_cast<int32_t>(
      std::min<int64_t>(static_cast<int64_t>(divisor) * 17 / 16, INT32_MAX));
}

int32_t slowerSpeed(int32_t divisor) {
  return static_cast<int32_t>((16 * static_cast<int64_t>(divisor) + 8) / 17);
}

void applyRequests(Engine& engine) {
  Request request{RequestKind::stop};
  while (engine.requests.take(request)) apply(engine, request);
}

void servicePass(Engine& engine) {
  if (engine.requests.pending()) applyRequests(engine);
  if (!engine.stage.service()) return;
  // The fade has ended the song: its notes are silenced and the module reset.
  PlayerState& s = engine.state;
  s.playRequest = 0;
  s.threadStatus = 0;
  s.repeatCount = 0;
}

void waitServing(Engine& engine, int32_t ms) {
  engine.requests.wait(engine.clock, ms);
  if (engine.requests.pending()) applyRequests(engine);
}

}  // namespace tessaro
