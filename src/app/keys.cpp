#include "app/keys.h"

#include <algorithm>
#include <cstdint>

#include "app/program.h"

namespace tessaro {

namespace {

constexpr int32_t volumeKeyStep = 12;

bool isDigit(int code) { return code >= '0' && code <= '9'; }

void changeVolume(App& app, int32_t delta) {
  int32_t volume = app.options.volumeAdd.load() + delta;
  app.options.volumeAdd = volume;
  setUserVolume(app.engine, volume);
}

void repeatDown(App& app) {
  PlayerState& state = app.engine.state;
  state.repeatSetByUser = 255;
  state.repeatCount = std::max(state.repeatCount.load() - 1, 0);
}

void repeatUp(App& app) {
  PlayerState& state = app.engine.state;
  state.repeatSetByUser = 255;
  int32_t count = state.repeatCount.load();
  state.repeatCount = count < 0 ? 0 : (count == INT32_MAX ? count : count + 1);
}

void resetModule(App& app) {
  sendGmSystemOn(app.port);
  shiftClock(app.engine, 50);
}

// Keys that act the same in both loops. True when the key was one of them.
bool applyCommonKey(App& app, int code) {
  if (isDigit(code)) {
    app.options.DispLevel = code - '0';
  } else if (code == ',' || code == '<') {
    changeVolume(app, -volumeKeyStep);
  } else if (code == '.' || code == '>') {
    changeVolume(app, volumeKeyStep);
  } else if (code == 'G' || code == 'g') {
    resetModule(app);
  } else if (code == '-' || code == '_') {
    repeatDown(app);
  } else if (code == ';' || code == '+') {
    repeatUp(app);
  } else {
    return false;
  }
  return true;
}

}  // namespace

int32_t fasterSpeed(int32_t divisor) {
  return static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(divisor) * 17 / 16, INT32_MAX));
}

int32_t slowerSpeed(int32_t divisor) {
  return static_cast<int32_t>((16 * static_cast<int64_t>(divisor) + 8) / 17);
}

IdleAction applyIdleKey(App& app, int code) {
  if (code == KeyEscape) return IdleAction::quit;
  if (applyCommonKey(app, code)) return IdleAction::none;
  if (code == 'O' || code == 'o') openFileDialog(app);
  return IdleAction::none;
}

void applyPlayKey(App& app, int code) {
  PlayerState& state = app.engine.state;
  if (code == KeyEscape) {
    stopPlayback(app.engine, app.player.get());
  } else if (applyCommonKey(app, code)) {
  } else if (code == 'F' || code == 'f') {
    state.fadeActive = 255;
    paintStatus(app);
  } else if (code == 'U' || code == 'u') {
    state.speedDivisor = fasterSpeed(state.speedDivisor);
    paintStatus(app);
  } else if (code == 'S' || code == 's') {
    state.speedDivisor = DefaultSpeedDivisor;
    paintStatus(app);
  } else if (code == 'D' || code == 'd') {
    state.speedDivisor = slowerSpeed(state.speedDivisor);
    paintStatus(app);
  } else if ((code == 'O' || code == 'o') && app.cue.length < CueCapacity) {
    openFileDialog(app);
  }
}

}  // namespace tessaro
