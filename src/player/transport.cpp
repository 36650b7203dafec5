// Pause and seek: the song stops sounding and waits where it stands, or moves to another tick
// with the module's state chased (its system exclusives since the last reset, then every
// channel's bank, program, controllers, parameters, pitch bend and pressure as last set), not
// with the song's events one by one.
#include <algorithm>
#include <climits>

#include "player/engine.h"
#include "player/song_scan.h"

namespace tessaro {

namespace {

constexpr int32_t waitPiece = 210;

void updatePosition(PlayerState& s, int32_t division) {
  int32_t quarters = s.nowTick / std::max(division, 1);
  s.measure = quarters / 4 + 1;
  s.beat = quarters % 4 + 1;
  s.tickInBeat = s.nowTick % std::max(division, 1);
}

// Every note sounding gets its note-off at once, and goes dark on the note grid.
void endSoundingNotes(Engine& engine) {
  const NoteCounts& sounding = engine.stage.sounding();
  for (int c = 0; c < ChannelCount; ++c) {
    for (int k = 0; k < 128; ++k) {
      if (sounding[static_cast<size_t>(c)][static_cast<size_t>(k)] <= 0) continue;
      while (sounding[static_cast<size_t>(c)][static_cast<size_t>(k)] > 0)
        engine.stage.endNote(c, k);
      engine.observer.noteChanged(c, k, false);
    }
  }
}

void send(Engine& engine, int status, int data1, int data2 = 0) {
  playSongMessage(engine, status, data1, data2);
}

// A registered or non-registered parameter chosen for the data entry that follows.
void selectParameter(Engine& engine, int c, bool nrpn, int msb, int lsb) {
  send(engine, 0xB0 + c, nrpn ? 99 : 101, msb);
  send(engine, 0xB0 + c, nrpn ? 98 : 100, lsb);
}

// One channel's state: the bank before the program, the controllers, the parameters with
// their data and the parameter then chosen, the pitch bend and the pressure.
void chaseChannel(Engine& engine, int c, const ChannelAtTick& ch) {
  const int cc = 0xB0 + c;
  auto controller = [&](int k) { return ch.controllers[static_cast<size_t>(k)]; };
  if (controller(0) >= 0) send(engine, cc, 0, controller(0));
  if (controller(32) >= 0) send(engine, cc, 32, controller(32));
  if (ch.program >= 0) send(engine, 0xC0 + c, ch.program);
  for (int k = 1; k < 120; ++k)
    if (k != 32 && controller(k) >= 0) send(engine, cc, k, controller(k));
  if (ch.mode >= 0) send(engine, cc, ch.mode, ch.modeValue);
  for (const ParameterValue& p : ch.parameters) {
    selectParameter(engine, c, p.nrpn, p.msb, p.lsb);
    if (p.dataMsb >= 0) send(engine, cc, 6, p.dataMsb);
    if (p.dataLsb >= 0) send(engine, cc, 38, p.dataLsb);
  }
  if (ch.selected != 0) {
    const std::array<uint8_t, 2>& n = ch.selected == 2 ? ch.nrpn : ch.rpn;
    selectParameter(engine, c, ch.selected == 2, n[0], n[1]);
  } else if (!ch.parameters.empty()) {
    selectParameter(engine, c, false, 127, 127);
  }
  if (ch.bend >= 0) send(engine, 0xE0 + c, ch.bend & 0x7F, ch.bend >> 7);
  if (ch.pressure >= 0) send(engine, 0xD0 + c, ch.pressure);
}

// The module given the state the song had put it in: from the song's last reset (or from GM
// System On, when the song has sent none yet) with the pauses a reset needs, through the
// translation as the song's own messages.
void chaseModule(Engine& engine, const SongAtTick& at) {
  engine.stage.translator.startSong();
  if (!at.resetSeen) {
    sendGmSystemOn(engine.port);
    engine.time.pause(50, 50);
  }
  for (const std::vector<uint8_t>& m : at.systemExclusives)
    engine.stage.chaseSystemExclusive(m.data(), static_cast<int32_t>(m.size()));
  for (int c = 0; c < ChannelCount; ++c)
    chaseChannel(engine, c, at.channels[static_cast<size_t>(c)]);
}

// The loop start's chase follows the song to the tick.
ChaseState loopChaseOf(const SongAtTick& at) {
  ChaseState chase;
  for (int c = 0; c < ChannelCount; ++c) {
    const ChannelAtTick& from = at.channels[static_cast<size_t>(c)];
    ChannelChase& to = chase[static_cast<size_t>(c)];
    for (int k = 0; k < 120; ++k)
      to.controllers[static_cast<size_t>(k)] = from.controllers[static_cast<size_t>(k)];
    to.program = from.program;
    to.bend = from.bend;
  }
  return chase;
}

// Past the song's end: as at its end, a repeat left is taken, else the song ends.
void reachEnd(Engine& engine, const SongAtTick& at) {
  PlayerState& s = engine.state;
  std::copy_n(at.cursors.begin(), engine.song.trackCount, s.cursors.begin());
  s.chainHead = -1;
  s.nowTick = at.endTick;
  if (s.jumpSeen == 0 && s.repeatCount > 0) {
    repeatJump(engine, at.endTick);
  } else {
    s.playRequest = 0;
  }
}

// The player stands at the tick's first events, with the tempo and the chain there.
void placeAt(Engine& engine, const SongAtTick& at) {
  PlayerState& s = engine.state;
  std::copy_n(at.cursors.begin(), engine.song.trackCount, s.cursors.begin());
  s.chainHead = -1;
  for (int32_t t = 0; t < engine.song.trackCount; ++t)
    if (s.cursors[static_cast<size_t>(t)].active != 0) insertTrack(engine, t);
  s.nowTick = at.tick;
  s.tempo = at.tempo;
  s.usPerTick = usPerTickOf(engine.song.division, s.tempo);
  s.firstNoteSeen = at.noteSeen ? 1 : 0;
  if (s.loopMarkers != 0) s.chase = loopChaseOf(at);
  s.tickStart.tick = -1;
  s.nextPointTick = static_cast<size_t>(
      std::lower_bound(s.pointTicks.begin(), s.pointTicks.end(), at.tick) - s.pointTicks.begin());
}

// Waits while paused, taking requests; a seek asked for meanwhile is made at once and the song
// stays paused. Then the song goes on where it stood: the clock is held back by the pause, the
// pedals are pressed again, or, after a module reset, its state is sent again.
void holdPause(Engine& engine) {
  PlayerState& s = engine.state;
  s.pauseAsked = 0;
  s.pausedTick = currentTick(engine);
  s.paused = true;
  endSoundingNotes(engine);
  engine.stage.releasePedals();
  int32_t since = playClock(engine);
  while (s.paused && s.playRequest != 0) {
    engine.requests.wait(engine.clock, waitPiece);
    applyRequests(engine);
    engine.stage.sendDueVolumes();
    if (s.seekTarget >= 0) {
      // The song moves and stays paused: the pedals the chase pressed are lifted again.
      int32_t target = s.seekTarget;
      s.seekTarget = -1;
      seekTo(engine, target);
      engine.stage.releasePedals();
      s.chaseOnResume = 0;
      s.pausedTick = s.nowTick;
      since = playClock(engine);
    }
  }
  s.paused = false;
  if (s.playRequest == 0) return;
  shiftClock(engine, playClock(engine) - since);
  if (s.chaseOnResume != 0) {
    s.chaseOnResume = 0;
    chaseModuleAt(engine, s.nowTick + 1);
  } else {
    engine.stage.restorePedals();
  }
}

}  // namespace

int32_t currentTick(Engine& engine) {
  PlayerState& s = engine.state;
  if (s.paused) return s.pausedTick;
  int32_t now = s.nowTick;
  int64_t lateMs = static_cast<int64_t>(playClock(engine) - s.songStart) - s.msBase;
  if (lateMs <= 0 || s.usPerTick <= 0) return now;
  int64_t ticks = lateMs * std::max<int32_t>(s.speedDivisor, 1) / s.usPerTick;
  int32_t head = headTick(engine);
  int64_t limit = head > now ? head - 1 : now;
  return static_cast<int32_t>(std::min<int64_t>(now + ticks, limit));
}

int32_t measureStepTarget(int32_t quarter, int32_t tick, int32_t measures) {
  const int64_t measure = 4 * static_cast<int64_t>(std::max(quarter, 1));
  const int64_t at = std::max(tick, 0) / measure;
  int64_t target = at + measures;
  // Back from a measure under way: its own start counts as the first step.
  if (measures < 0 && std::max(tick, 0) - at * measure >= std::max(quarter, 1)) ++target;
  return static_cast<int32_t>(std::clamp<int64_t>(target * measure, 0, INT32_MAX));
}

void seekTo(Engine& engine, int32_t tick) {
  PlayerState& s = engine.state;
  SongAtTick at = songAtTick(engine.song, tick);
  endSoundingNotes(engine);
  s.fastForward = 0;
  s.moved = 1;
  // The music from the target keeps its distances from now.
  s.msBase = playClock(engine) - s.songStart;
  s.usRemainder = 0;
  if (at.pastEnd) {
    reachEnd(engine, at);
  } else {
    chaseModule(engine, at);
    placeAt(engine, at);
  }
  updatePosition(s, ticksPerQuarterOf(engine.song.division));
}

void chaseModuleAt(Engine& engine, int32_t tick) {
  chaseModule(engine, songAtTick(engine.song, tick));
}

bool settleTransport(Engine& engine) {
  PlayerState& s = engine.state;
  s.moved = 0;
  if (s.seekTarget >= 0) {
    int32_t target = s.seekTarget;
    s.seekTarget = -1;
    seekTo(engine, target);
  }
  if (s.pauseAsked != 0 && s.playRequest != 0) holdPause(engine);
  return s.moved != 0;
}

}  // namespace tessaro
