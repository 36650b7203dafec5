// Playback preparation: puts every piece of PlayerState back to the start of the loaded song,
// and positioning to a start measure and beat.
#include <algorithm>

#include "player/engine.h"
#include "player/track_walk.h"

namespace tessaro {

namespace {

// Every track from its first byte; the repeat point is the song start.
void resetCursors(Engine& engine) {
  PlayerState& s = engine.state;
  for (int32_t t = 0; t < engine.song.trackCount; ++t) {
    TrackCursor& cursor = s.cursors[static_cast<size_t>(t)];
    cursor = TrackCursor{};
    cursor.active = 255;
  }
  rebuildChain(engine);
  RepeatPoint& point = s.repeatPoint;
  point.markTick = 0;
  point.markChainHead = s.chainHead;
  point.markTrack = -1;
  point.markTrackChained = false;
  point.loop = false;
  std::copy_n(s.cursors.begin(), engine.song.trackCount, point.cursors.begin());
  for (auto& channel : point.sounding) channel.fill(0);
  for (int c = 0; c < ChannelCount; ++c)
    point.volume[static_cast<size_t>(c)] =
        engine.stage.translator.channels[static_cast<size_t>(c)].volume;
}

// What the song holds of repeat and loop markers, read ahead of playing.
struct MarkerScan {
  bool repeatMarkers = false;  // REPEAT, MARK or JUMP
  bool loopMarkers = false;    // controller 111, loopStart or loopEnd
  std::vector<int32_t> repeatTicks, loopTicks;
};

// Walks one track's events as the player reads them and notes its markers with their ticks. A
// track that breaks off ends the walk where the player would end it.
void scanTrack(const TrackData& track, MarkerScan& scan) {
  TrackCursor cursor;
  cursor.active = 255;
  TrackWalker walker(track, cursor);
  WalkedEvent e;
  for (TrackWalker::Step step;
       (step = walker.next(e)) != TrackWalker::Step::ended && step != TrackWalker::Step::broken;) {
    if (step == TrackWalker::Step::skipped) continue;
    if (e.status == 0xFF) {
      char text[12] = {};
      std::copy_n(e.body, std::min<int32_t>(e.length, sizeof text - 1), text);
      MarkerWord word = markerWordOf(text, e.type);
      if (word == MarkerWord::repeat || word == MarkerWord::mark)
        scan.repeatTicks.push_back(e.tick);
      scan.repeatMarkers |=
          word == MarkerWord::repeat || word == MarkerWord::mark || word == MarkerWord::jump;
      if (word == MarkerWord::loopStart) scan.loopTicks.push_back(e.tick);
      scan.loopMarkers |= word == MarkerWord::loopStart || word == MarkerWord::loopEnd;
    } else if ((e.status & 0xF0) == 0xB0 && e.data[0] == 111) {
      scan.loopTicks.push_back(e.tick);
      scan.loopMarkers = true;
    }
  }
}

// The song's repeat or loop points ahead: where one is set, and whether its loop markers act.
void scanMarkers(Engine& engine) {
  PlayerState& s = engine.state;
  MarkerScan scan;
  for (int32_t t = 0; t < engine.song.trackCount; ++t)
    scanTrack(engine.song.tracks[static_cast<size_t>(t)], scan);
  s.loopMarkers = scan.loopMarkers && !scan.repeatMarkers ? 255 : 0;
  s.pointTicks = scan.repeatMarkers   ? scan.repeatTicks
                 : s.loopMarkers != 0 ? scan.loopTicks
                                      : std::vector<int32_t>{};
  std::sort(s.pointTicks.begin(), s.pointTicks.end());
  s.pointTicks.erase(std::unique(s.pointTicks.begin(), s.pointTicks.end()), s.pointTicks.end());
  s.nextPointTick = 0;
  s.tickStart.tick = -1;
  s.chase = ChaseState{};
}

}  // namespace

int preparePlayback(Engine& engine) {
  PlayerState& s = engine.state;
  engine.stage.forgetNotes();
  if (engine.song.trackCount == 0) return -1;

  s.firstNoteSeen = 0;
  s.jumpSeen = 0;
  s.stopRequested = 0;
  // A pause or a seek asked for after the last song's end is no request of this one.
  s.paused = false;
  s.pauseAsked = 0;
  s.chaseOnResume = 0;
  s.seekTarget = -1;
  s.speedDivisor = DefaultSpeedDivisor;
  engine.stage.startSong();
  s.usRemainder = 0;
  s.msBase = 0;
  s.tempo = 500000;
  s.usPerTick = usPerTickOf(engine.song.division, 500000);

  resetCursors(engine);
  scanMarkers(engine);

  s.threadStatus = 1;
  s.nowTick = 0;
  s.tickInBeat = 0;
  s.beat = 0;
  s.measure = 0;
  s.songStart = playClock(engine) - 100;
  s.fastForward = 0;
  s.playRequest = 255;
  return 0;
}

int positionToMeasure(Engine& engine, int32_t measure, int32_t beat) {
  PlayerState& s = engine.state;
  int64_t tick =
      (4 * static_cast<int64_t>(measure) + beat) * ticksPerQuarterOf(engine.song.division);
  s.nowTick = static_cast<int32_t>(tick > INT32_MAX ? INT32_MAX : tick);
  s.fastForward = 255;
  return 0;
}

}  // namespace tessaro
