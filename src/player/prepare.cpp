// Playback preparation: puts every piece of PlayerState back to the start of the loaded song,
// and positioning to a start measure and beat.
#include <algorithm>

#include "player/engine.h"

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
  std::copy_n(s.cursors.begin(), engine.song.trackCount, point.cursors.begin());
  for (int c = 0; c < ChannelCount; ++c)
    point.volume[static_cast<size_t>(c)] =
        engine.translator.channels[static_cast<size_t>(c)].volume;
}

}  // namespace

int preparePlayback(Engine& engine) {
  PlayerState& s = engine.state;
  for (auto& channel : s.soundingNotes) channel.fill(0);
  if (engine.song.trackCount == 0) return -1;

  s.firstNoteSeen = 0;
  s.jumpSeen = 0;
  s.speedDivisor = DefaultSpeedDivisor;
  s.fadeTotal = 0;
  resetFadeVolume(engine);
  s.masterVolumeCut = 0;
  s.usRemainder = 0;
  s.msBase = 0;
  s.tempo = 500000;
  int32_t division = engine.song.division;
  s.usPerTick = (500000 + division / 2) / division;

  engine.translator.startSong();
  resetCursors(engine);

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
  int64_t tick = (4 * static_cast<int64_t>(measure) + beat) * engine.song.division;
  s.nowTick = static_cast<int32_t>(tick > INT32_MAX ? INT32_MAX : tick);
  s.fastForward = 255;
  return 0;
}

}  // namespace tessaro
