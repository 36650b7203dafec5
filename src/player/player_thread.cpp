// The player thread: merges the tracks in time through the EventChain, waits for each event
// time against the play clock, decodes the events from the stored track bytes and sends them
// through the output port.
#include <algorithm>
#include <cstdio>

#include "player/engine.h"

namespace tessaro {

namespace {

constexpr int32_t waitPiece = 210;  // longest single sleep, so a stop is seen in time

// How a track's turn in the chain loop ended.
enum class Turn {
  later,   // the next event lies in the future: re-insert the track
  ended,   // End of Track (or read past its end): the track leaves the chain
  jumped,  // a repeat jump restored the chain, which already holds this track
  quit,    // the thread returns `result`
};

struct TurnResult {
  Turn turn;
  int result = 0;
};

// Reads a track's stored bytes without ever going past its end.
struct TrackBytes {
  const uint8_t* bytes;
  int32_t length;
  int32_t& position;

  int32_t left() const { return length - position; }
  // The next byte, or -1 at the end of the track.
  int next() { return position < length ? bytes[position++] : -1; }
  // A variable-length quantity; -1 when the track ends inside it.
  int64_t quantity() {
    uint32_t value = 0;
    for (;;) {
      int byte = next();
      if (byte < 0) return -1;
      value = (value << 7) | static_cast<uint32_t>(byte & 0x7F);
      if ((byte & 0x80) == 0) return value & 0x0FFFFFFF;
    }
  }
};

bool isNote(int status) {
  return status >= 0x80 && status < 0xA0;
}

void updatePosition(Engine& engine) {
  PlayerState& s = engine.state;
  int32_t now = s.nowTick;
  int32_t division = ticksPerQuarterOf(engine.song.division);
  int32_t quarters = now / division;
  s.measure = quarters / 4 + 1;
  s.beat = quarters % 4 + 1;
  s.tickInBeat = now % division;
}

// Waits until the head of the chain is due, carrying the microsecond remainder so that
// rounding never accumulates. A pause asked for is held first (and during the wait); false when
// a seek moved the song, whose chain is then looked at afresh.
bool waitForHead(Engine& engine) {
  PlayerState& s = engine.state;
  if (settleTransport(engine)) return false;
  int32_t head = headTick(engine);
  if (head <= s.nowTick) return true;
  int32_t divisor = std::max<int32_t>(1, s.speedDivisor.load());
  int64_t micro = s.usRemainder + static_cast<int64_t>(head - s.nowTick) * s.usPerTick;
  int64_t q = micro / divisor;
  s.usRemainder = static_cast<int32_t>(micro - q * divisor);
  q = std::min<int64_t>(q, INT32_MAX / 2);
  // Waits in pieces, each ended early by a request, and counts from the clock after each: a
  // request may hold the music back (a module reset) or stop it.
  const int64_t due = s.msBase + q;
  for (int64_t wait = due - (playClock(engine) - s.songStart);
       wait > 0 && s.fastForward == 0 && s.playRequest != 0;
       wait = due - (playClock(engine) - s.songStart)) {
    waitServing(engine, static_cast<int32_t>(std::min<int64_t>(wait, waitPiece)));
    if ((s.seekTarget >= 0 || s.pauseAsked != 0) && settleTransport(engine)) return false;
  }
  s.msBase = static_cast<int32_t>(s.msBase + q);
  s.nowTick = head;
  updatePosition(engine);
  return true;
}

// How far real time has run ahead of the music (negative: behind it).
int32_t lateness(Engine& engine) {
  PlayerState& s = engine.state;
  return (playClock(engine) - s.songStart) - s.msBase;
}

// The first note sounds at once, however long the set-up before it took.
void alignClockToFirstNote(Engine& engine) {
  int32_t late = lateness(engine);
  if (late > 10) shiftClock(engine, late);
}

TurnResult endOfTrack(Engine& engine, int32_t track) {
  PlayerState& s = engine.state;
  TrackCursor& cursor = s.cursors[static_cast<size_t>(track)];
  cursor.active = 0;
  cursor.endTick = cursor.nextTick;
  if (s.chainHead >= 0) return {Turn::ended};
  if (s.jumpSeen != 0 || s.repeatCount <= 0) {
    s.playRequest = 0;
    return {Turn::ended};
  }
  repeatJump(engine, cursor.nextTick);
  return {Turn::jumped};
}

TurnResult metaEvent(Engine& engine, int32_t track, TrackBytes& in) {
  PlayerState& s = engine.state;
  int type = in.next();
  int64_t length = in.quantity();
  if (type < 0 || length < 0 || length > in.left()) return {Turn::quit, -1};
  int32_t size = static_cast<int32_t>(length);
  const uint8_t* body = in.bytes + in.position;
  in.position += size;
  int32_t kept = std::min<int32_t>(size, MessageBufferSize - 2);
  std::copy(body, body + kept, s.messageBuffer.begin());
  s.messageBuffer[static_cast<size_t>(kept)] = 0;
  s.messageBuffer[static_cast<size_t>(kept) + 1] = 0;
  if (type >= 0x01 && type <= 0x0F) engine.observer.textEvent(type, body, size);
  switch (type) {
    case 0x00:
      if (size != 2) {
        engine.log.print("For Thread Debug 4.\n");
        return {Turn::quit, playerBadMeta};
      }
      break;
    case 0x01:
    case 0x06:
      // A jump restored every cursor and the chain, which holds this track again: its turn
      // is over.
      if (handleMarker(engine, track, s.cursors[static_cast<size_t>(track)].nextTick, type))
        return {Turn::jumped};
      break;
    case 0x2F:
      if (size != 0) {
        engine.log.print("For Thread Debug 5.\n");
        return {Turn::quit, playerBadMeta};
      }
      return endOfTrack(engine, track);
    case 0x51:
      if (size != 3) return {Turn::quit, playerBadMeta};
      s.tempo = body[0] << 16 | body[1] << 8 | body[2];
      s.usPerTick = usPerTickOf(engine.song.division, s.tempo);
      break;
    case 0x54:
      if (size != 5) return {Turn::quit, playerBadMeta};
      break;
    case 0x58:
      if (size != 4) return {Turn::quit, playerBadMeta};
      break;
    case 0x59:
      if (size != 2) return {Turn::quit, playerBadMeta};
      break;
    default:
      break;
  }
  return {Turn::later};
}

// A system exclusive whose length does not end at its F7, or that has none, ends the song: said
// once, with the track and the tick, whatever the display level.
TurnResult brokenSystemExclusive(Engine& engine, int32_t track, int64_t length, bool endFound) {
  char what[160];
  int32_t tick = engine.state.cursors[static_cast<size_t>(track)].nextTick;
  if (endFound)
    std::snprintf(what, sizeof what,
                  "track %d, tick %d: a system exclusive of %lld bytes does not end at its F7: "
                  "the song ends here",
                  track + 1, tick, static_cast<long long>(length));
  else
    std::snprintf(what, sizeof what,
                  "track %d, tick %d: a system exclusive has no end (F7): the song ends here",
                  track + 1, tick);
  engine.log.problem(engine.song.name.empty() ? "song" : engine.song.name, what);
  return {Turn::quit, playerBadSysEx};
}

TurnResult systemExclusive(Engine& engine, int32_t track, TrackBytes& in) {
  int64_t length = in.quantity();
  if (length < 0) return {Turn::quit, -1};
  const uint8_t* body = in.bytes + in.position;
  const uint8_t* end = std::find(body, in.bytes + in.length, 0xF7);
  bool endFound = end != in.bytes + in.length;
  if (!endFound || end - body + 1 != length)
    return brokenSystemExclusive(engine, track, length, endFound);
  int32_t n = static_cast<int32_t>(length);
  in.position += n;
  engine.stage.systemExclusive(body, n, engine.state.fastForward != 0);
  return {Turn::later};
}

TurnResult escapeEvent(Engine& engine, TrackBytes& in) {
  PlayerState& s = engine.state;
  // A length past the track's end is an overrun of the track, as for a meta event.
  int64_t length = in.quantity();
  if (length < 0 || length > in.left()) return {Turn::quit, -1};
  int32_t n = static_cast<int32_t>(length);
  const uint8_t* body = in.bytes + in.position;
  in.position += n;
  engine.stage.escape(body, n);
  if (s.fastForward != 0) {
    shiftClock(engine, 4);
    engine.clock.sleepMs(4);
  }
  return {Turn::later};
}

// The song's bank selects are remembered per track as well as per channel.
void recordTrackBank(TrackCursor& cursor, const translate::ChannelMessage& m) {
  if ((m.status & 0xF0) != 0xB0 || m.count < 2) return;
  if (m.data[0] == 0) cursor.trackBankMsb = m.data[1];
  if (m.data[0] == 32) cursor.trackBankLsb = m.data[1];
}

void channelMessage(Engine& engine, int32_t track, int status, int32_t count) {
  PlayerState& s = engine.state;
  bool fastForward = s.fastForward != 0;
  if (s.firstNoteSeen == 0 && (status & 0xF0) == 0x90) {
    if (!fastForward) alignClockToFirstNote(engine);
    s.firstNoteSeen = 1;
  }
  translate::ChannelMessage m{status, {s.messageBuffer[0], s.messageBuffer[1]}, count};
  if (s.loopMarkers != 0)
    keepChase(s.chase[static_cast<size_t>(status & 0x0F)], status, m.data[0] & 0x7F,
              m.data[1] & 0x7F);
  engine.stage.channelMessage(m, fastForward);
  recordTrackBank(s.cursors[static_cast<size_t>(track)], m);
  bool note = isNote(status);
  if (note) {
    bool lit = (status & 0xF0) == 0x90 && m.data[1] > 0;
    engine.observer.noteChanged(status & 0x0F, m.data[0] & 0x7F, lit);
  }
  if (fastForward && !note) {
    shiftClock(engine, 4);
    engine.clock.sleepMs(2);
  }
  // Controller 111 marks a loop start at its place in the song.
  if (s.loopMarkers != 0 && (status & 0xF0) == 0xB0 && m.data[0] == 111)
    setRepeatPoint(engine, track, s.cursors[static_cast<size_t>(track)].nextTick, true);
}

// Status and body of one event. Running status resumes the last channel status after a
// system-exclusive or meta event; a data byte with no channel status before it is skipped.
TurnResult decodeEvent(Engine& engine, int32_t track, TrackBytes& in) {
  PlayerState& s = engine.state;
  TrackCursor& cursor = s.cursors[static_cast<size_t>(track)];
  int first = in.next();
  cursor.deltaPending = 0;
  if (first < 0) return {Turn::quit, -1};
  int taken = 0;
  if (first & 0x80) {
    cursor.runningStatus = first;
    if (first < 0xF0) cursor.channelStatus = first;
  } else {
    if (cursor.runningStatus >= 0xF0 || cursor.runningStatus < 0x80) {
      if (cursor.channelStatus == 0) return {Turn::later};
      cursor.runningStatus = cursor.channelStatus;
    }
    s.messageBuffer[0] = static_cast<uint8_t>(first);
    taken = 1;
  }
  int status = cursor.runningStatus;
  if (status == 0xF0) return systemExclusive(engine, track, in);
  if (status == 0xF7) return escapeEvent(engine, in);
  if (status == 0xFF) return metaEvent(engine, track, in);
  int32_t count = dataBytesOf(status);
  for (int32_t i = taken; i < count; ++i) {
    int byte = in.next();
    if (byte < 0) return {Turn::quit, -1};
    s.messageBuffer[static_cast<size_t>(i)] = static_cast<uint8_t>(byte);
  }
  channelMessage(engine, track, status, count);
  return {Turn::later};
}

// A read reached the track's end: the track is ended where it stands.
TurnResult overrun(Engine& engine, int32_t track) {
  PlayerState& s = engine.state;
  TrackCursor& cursor = s.cursors[static_cast<size_t>(track)];
  int32_t length = engine.song.tracks[static_cast<size_t>(track)].length;
  engine.log.print("Assert fail : trkptr overrun. : %ld (%d)\n", static_cast<long>(cursor.position),
                   track);
  cursor.active = 0;
  engine.log.print(" Illegal End of Track %d (%ld bytes: should be <%ld) \n", track + 1,
                   static_cast<long>(cursor.position), static_cast<long>(length));
  cursor.endTick = cursor.nextTick;
  if (s.chainHead < 0) {
    s.playRequest = 0;
    return {Turn::quit, playerOverrun};
  }
  return {Turn::ended};
}

// Plays the events of one track that are due now.
TurnResult playTrack(Engine& engine, int32_t track) {
  PlayerState& s = engine.state;
  TrackCursor& cursor = s.cursors[static_cast<size_t>(track)];
  const TrackData& data = engine.song.tracks[static_cast<size_t>(track)];
  for (;;) {
    // A stop is taken between events: a long run of events at one tick, each spaced by the
    // set-up or fast-forward pause, must not hold it back.
    if (s.playRequest == 0) return {Turn::later};
    int32_t start = cursor.position;
    TrackBytes in{data.block, data.length, cursor.position};
    if (in.left() <= 0) return overrun(engine, track);
    if (cursor.deltaPending == 0) {
      int64_t delta = in.quantity();
      if (delta < 0) return overrun(engine, track);
      cursor.deltaPending = 1;
      if (delta != 0) {
        cursor.nextTick = static_cast<int32_t>(
            std::min<int64_t>(static_cast<int64_t>(cursor.nextTick) + delta, INT32_MAX));
        return {Turn::later};
      }
    }
    if (s.firstNoteSeen == 0 && s.fastForward == 0) {
      shiftClock(engine, 4);
      engine.clock.sleepMs(4);
    }
    if (in.left() <= 0) return overrun(engine, track);
    TurnResult result = decodeEvent(engine, track, in);
    if (result.turn == Turn::quit && result.result == -1) {
      cursor.position = std::max(start, data.length);
      return overrun(engine, track);
    }
    if (result.turn != Turn::later) return result;
    if (cursor.nextTick > s.nowTick) return {Turn::later};
  }
}

// One pass over the tracks whose events are due at nowTick. Returns true to go on with the
// outer loop, false when the thread returns `result`.
bool chainLoop(Engine& engine, int& result) {
  PlayerState& s = engine.state;
  while (s.playRequest != 0) {
    // An output that has gone takes nothing more: the song ends here rather than play on
    // unheard.
    if (outputLost(engine.port)) {
      s.playRequest = 0;
      break;
    }
    int32_t track = s.chainHead;
    if (track < 0) {
      engine.log.print("For Thread Debug TRKNO.\n");
      result = playerChainError;
      return false;
    }
    if (track >= engine.song.trackCount) {
      engine.log.print("Assert Fail: illegal TrkNo.\n");
      result = playerChainError;
      return false;
    }
    if (s.cursors[static_cast<size_t>(track)].nextTick > s.nowTick) {
      if (s.fastForward != 0) {
        // At the skip target real time is set to the music, whether the skipped events' pauses
        // left it ahead or behind, so that the music after the target keeps its distance.
        s.fastForward = 0;
        shiftClock(engine, lateness(engine));
      }
      return true;
    }
    popTrack(engine);
    TurnResult turn = playTrack(engine, track);
    if (turn.turn == Turn::quit) {
      result = turn.result;
      return false;
    }
    if (turn.turn == Turn::later) insertTrack(engine, track);
  }
  result = playerDone;
  return false;
}

}  // namespace

void playSongMessage(Engine& engine, int status, int data1, int data2) {
  PlayerState& s = engine.state;
  int32_t count = dataBytesOf(status);
  translate::ChannelMessage m{
      status, {static_cast<uint8_t>(data1), static_cast<uint8_t>(data2)}, count};
  if (s.loopMarkers != 0)
    keepChase(s.chase[static_cast<size_t>(status & 0x0F)], status, data1, data2);
  engine.stage.channelMessage(m, false);
}

void keepTickStart(Engine& engine) {
  PlayerState& s = engine.state;
  const auto& ticks = s.pointTicks;
  // While skipping to the start position the tracks play ahead of each other: no tick starts.
  if (s.fastForward != 0) return;
  while (s.nextPointTick < ticks.size() && ticks[s.nextPointTick] < s.nowTick) ++s.nextPointTick;
  if (s.nextPointTick == ticks.size() || ticks[s.nextPointTick] != s.nowTick) return;
  ++s.nextPointTick;
  TickStart& start = s.tickStart;
  start.tick = s.nowTick;
  start.chainHead = s.chainHead;
  std::copy_n(s.cursors.begin(), engine.song.trackCount, start.cursors.begin());
  start.sounding = engine.stage.sounding();
}

int playerThread(Engine& engine) {
  PlayerState& s = engine.state;
  if (s.playRequest == 0) {
    s.threadStatus = 0;
    return 0;
  }
  s.threadStatus = 2;
  for (;;) {
    if (s.playRequest == 0) {
      engine.log.print("Exit at last\n");
      return playerDone;
    }
    if (!waitForHead(engine)) continue;
    keepTickStart(engine);
    servicePass(engine);
    if (s.chainHead < 0) {
      engine.observer.waiting();
      engine.log.print("For Thread Debug 1.\n");
      return playerDone;
    }
    int result = 0;
    if (!chainLoop(engine, result)) return result;
  }
}

}  // namespace tessaro
