// Repeats and loops: the markers, the repeat point with its jump back, and the chase of a loop
// start.
#include <algorithm>
#include <climits>

#include "player/engine.h"

namespace tessaro {

namespace {

constexpr int32_t maxRepeats = 9999;

// Reads the decimal number after a marker word: spaces, then digits. -1 when there are none.
int32_t markerNumber(const uint8_t* text) {
  while (*text == ' ') ++text;
  if (*text < '0' || *text > '9') return -1;
  int32_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = std::min(value * 10 + (*text - '0'), maxRepeats + 1);
  }
  return value;
}

}  // namespace

MarkerWord markerWordOf(const char* text, int type) {
  if (type == 0x01) {
    if (matchesPrefixNoCase(text, "REPEAT") == 0) return MarkerWord::repeat;
    if (matchesPrefixNoCase(text, "MARK") == 0) return MarkerWord::mark;
    if (matchesPrefixNoCase(text, "JUMP") == 0) return MarkerWord::jump;
  }
  if (type == 0x01 || type == 0x06) {
    if (matchesPrefixNoCase(text, "loopStart") == 0) return MarkerWord::loopStart;
    if (matchesPrefixNoCase(text, "loopEnd") == 0) return MarkerWord::loopEnd;
  }
  return MarkerWord::none;
}

bool setRepeatPoint(Engine& engine, int32_t track, int32_t tick, bool loop) {
  PlayerState& s = engine.state;
  RepeatPoint& point = s.repeatPoint;
  // A mark of another track at the tick of the point in force is part of that point (met
  // again when the point is replayed): it changes nothing.
  if (point.markTrack >= 0 && point.markTrack != track && point.markTick == tick) return false;
  int32_t tracks = engine.song.trackCount;
  size_t self = static_cast<size_t>(track);
  point.markTick = tick;
  point.markTrack = track;
  point.loop = loop;
  const TickStart& start = s.tickStart;
  if (start.tick == tick) {
    // The other tracks' events of this tick belong to the repeated section, whichever track
    // order put them before the mark: every track as at the tick's start, the mark's own
    // track just after the mark, in its place of that chain.
    point.markChainHead = start.chainHead;
    point.markTrackChained = true;
    std::copy_n(start.cursors.begin(), tracks, point.cursors.begin());
    int32_t chained = point.cursors[self].chainNext;
    point.cursors[self] = s.cursors[self];
    point.cursors[self].chainNext = chained;
    point.sounding = start.sounding;
  } else {
    // Met while skipping to the start position, where no tick has a start: the point is where
    // the player stands.
    point.markChainHead = s.chainHead;
    point.markTrackChained = false;
    std::copy_n(s.cursors.begin(), tracks, point.cursors.begin());
    point.sounding = engine.stage.sounding();
  }
  for (int c = 0; c < ChannelCount; ++c)
    point.volume[static_cast<size_t>(c)] =
        engine.stage.translator.channels[static_cast<size_t>(c)].volume;
  if (loop) point.chase = s.chase;
  return true;
}

void keepChase(ChannelChase& channel, int status, int data1, int data2) {
  switch (status & 0xF0) {
    case 0xB0:
      if (data1 == 121) {
        // Reset All Controllers: the module is back at its defaults, except for the bank, the
        // volume, the pan and the effect sends, which it keeps.
        for (int k = 0; k < 120; ++k) {
          bool kept = k == 0 || k == 7 || k == 10 || k == 32 || (k >= 91 && k <= 95);
          if (!kept) channel.controllers[static_cast<size_t>(k)] = -1;
        }
        channel.bend = -1;
      } else if (data1 < 120) {
        channel.controllers[static_cast<size_t>(data1)] = static_cast<int8_t>(data2);
      }
      break;
    case 0xC0:
      channel.program = static_cast<int16_t>(data1);
      break;
    case 0xE0:
      channel.bend = static_cast<int16_t>(data1 | data2 << 7);
      break;
    default:
      break;
  }
}

namespace {

// Controllers that mean nothing without the messages around them (data entry and the parameter
// numbers it goes to) or that mark the loop itself: not chased.
bool chased(int controller) {
  return controller != 6 && controller != 38 && !(controller >= 96 && controller <= 101) &&
         controller != 111;
}

// Back at a loop start: every channel's controllers, program and pitch bend that have changed
// since the loop start are sent again with their values there, the bank before the program.
void chaseLoopStart(Engine& engine, const ChaseState& start) {
  for (int c = 0; c < ChannelCount; ++c) {
    const ChannelChase& was = start[static_cast<size_t>(c)];
    const ChannelChase& now = engine.state.chase[static_cast<size_t>(c)];
    auto differs = [&](int k) {
      int8_t value = was.controllers[static_cast<size_t>(k)];
      return value >= 0 && value != now.controllers[static_cast<size_t>(k)];
    };
    auto resend = [&](int k) {
      playSongMessage(engine, 0xB0 + c, k, was.controllers[static_cast<size_t>(k)]);
    };
    bool bank = differs(0) || differs(32);
    if (differs(0)) resend(0);
    if (differs(32)) resend(32);
    if (was.program >= 0 && (bank || was.program != now.program))
      playSongMessage(engine, 0xC0 + c, was.program, 0);
    for (int k = 1; k < 120; ++k) {
      if (k != 32 && chased(k) && differs(k)) resend(k);
    }
    if (was.bend >= 0 && was.bend != now.bend)
      playSongMessage(engine, 0xE0 + c, was.bend & 0x7F, was.bend >> 7);
  }
}

// The notes sounding now beyond those sounding at the point: the jump skips their note-offs, and
// the section played again strikes them anew. Each gets its note-off; notes held from before
// the point sound on, as they did when the point was passed. A note no longer sounding goes
// dark on the note grid.
void endSkippedNotes(Engine& engine, const NoteCounts& atPoint) {
  const NoteCounts& sounding = engine.stage.sounding();
  for (int c = 0; c < ChannelCount; ++c) {
    for (int k = 0; k < 128; ++k) {
      const int32_t& now = sounding[static_cast<size_t>(c)][static_cast<size_t>(k)];
      const int32_t keep = atPoint[static_cast<size_t>(c)][static_cast<size_t>(k)];
      if (now <= keep) continue;
      while (now > keep) engine.stage.endNote(c, k);
      if (now == 0) engine.observer.noteChanged(c, k, false);
    }
  }
}

}  // namespace

void repeatJump(Engine& engine, int32_t eventTick) {
  PlayerState& s = engine.state;
  RepeatPoint& point = s.repeatPoint;
  endSkippedNotes(engine, point.sounding);
  s.repeatCount -= 1;
  s.nowTick -= eventTick - point.markTick;
  s.chainHead = point.markChainHead;
  std::copy_n(point.cursors.begin(), engine.song.trackCount, s.cursors.begin());
  for (int c = 0; c < ChannelCount; ++c)
    engine.stage.translator.channels[static_cast<size_t>(c)].volume =
        point.volume[static_cast<size_t>(c)];
  if (point.markTrack == -1) {
    // Back at the song start: the song's reset is to be recognised again, and its set-up
    // spaced as on the first pass. A mark at tick 0 is not the start: what came before it
    // in its track (a reset, say) is not played again.
    engine.stage.translator.restartDetection();
    s.firstNoteSeen = 0;
  }
  if (point.markTrack != -1 && !point.markTrackChained) insertTrack(engine, point.markTrack);
  if (point.loop) chaseLoopStart(engine, point.chase);
  // The points of the ticks to come are met afresh; the tick of this one is under way (at the
  // song start it has only begun).
  const auto& ticks = s.pointTicks;
  s.tickStart.tick = -1;
  s.nextPointTick = static_cast<size_t>(
      std::lower_bound(ticks.begin(), ticks.end(), point.markTick) - ticks.begin());
  if (point.markTrack == -1) {
    keepTickStart(engine);
  } else if (s.nextPointTick < ticks.size() && ticks[s.nextPointTick] == point.markTick) {
    ++s.nextPointTick;
  }
}

bool handleMarker(Engine& engine, int32_t track, int32_t tick, int type) {
  PlayerState& s = engine.state;
  MarkerWord word = markerWordOf(reinterpret_cast<const char*>(s.messageBuffer.data()), type);
  bool repeat = word == MarkerWord::repeat;
  if (repeat || word == MarkerWord::mark) {
    if (!setRepeatPoint(engine, track, tick)) return false;
    int32_t n = markerNumber(s.messageBuffer.data() + (repeat ? 6 : 4));
    if (n >= 0) {
      s.repeatCount = repeat ? std::clamp(n, 1, maxRepeats) - 1 : std::min(n, maxRepeats);
    } else if (s.repeatSetByUser == 0) {
      s.repeatCount = 1;
    }
    return false;
  }
  // Loop markers act only in a song without repeat markers. A loop start leaves the repeat
  // count to the user; a loop end jumps back like JUMP.
  bool loops = s.loopMarkers != 0;
  if (word == MarkerWord::loopStart && loops) setRepeatPoint(engine, track, tick, true);
  if (word == MarkerWord::jump || (word == MarkerWord::loopEnd && loops)) {
    s.jumpSeen = 1;
    if (s.repeatCount > 0) {
      repeatJump(engine, tick);
      return true;
    }
  }
  return false;
}

}  // namespace tessaro
