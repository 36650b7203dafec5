// Playback preparation: puts every piece of PlayerState back to the start of the loaded song,
// and positioning to a start measure and beat.
#include "player/engine.h"

namespace tessaro {

namespace {

void resetTranslationTables(PlayerState& s) {
  s.reverbOffsetNormal.fill(40);
  s.reverbOffsetNormal[98] = -5;
  s.reverbOffsetDrum.fill(5);
  for (auto& channel : s.soundingNotes) channel.fill(0);
}

void resetCursors(Engine& engine) {
  PlayerState& s = engine.state;
  for (int32_t t = 0; t < engine.song.trackCount; ++t) {
    TrackCursor& cursor = s.cursors[static_cast<size_t>(t)];
    cursor.nextTick = 0;
    cursor.position = 0;
    cursor.runningStatus = 0;
    cursor.channelStatus = 0;
    cursor.deltaPending = 0;
    cursor.active = 255;
    SavedCursor& saved = s.repeatPoint.cursors[static_cast<size_t>(t)];
    saved.nextTick = 0;
    saved.position = 0;
    saved.runningStatus = 0;
    saved.channelStatus = 0;
    saved.deltaPending = 0;
    saved.active = 255;
  }
}

void resetChannels(PlayerState& s) {
  for (ChannelState& channel : s.channels) {
    channel.volume = -1;
    channel.program = 0;
    channel.xgDrumChannel = 0;
    channel.rhythmMode = 0;
    channel.userDrumSet = 0;
  }
  s.channels[9].xgDrumChannel = 1;
  s.channels[9].rhythmMode = 1;
}

void markSongStart(Engine& engine) {
  PlayerState& s = engine.state;
  RepeatPoint& point = s.repeatPoint;
  point.markChainHead = s.chainHead;
  point.markTrack = -1;
  for (int32_t t = 0; t < engine.song.trackCount; ++t) {
    SavedCursor& saved = point.cursors[static_cast<size_t>(t)];
    saved.chainNext = s.cursors[static_cast<size_t>(t)].chainNext;
    saved.trackBankMsb = 0;
    saved.trackBankLsb = 0;
  }
  for (int c = 0; c < ChannelCount; ++c)
    point.volume[static_cast<size_t>(c)] = s.channels[c].volume;
}

}  // namespace

int preparePlayback(Engine& engine) {
  PlayerState& s = engine.state;
  resetTranslationTables(s);
  if (engine.song.trackCount == 0) return -1;

  s.outputStatus = 0;
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

  resetCursors(engine);
  resetChannels(s);
  rebuildChain(engine);
  markSongStart(engine);

  s.UserToneTable.fill(-1);
  s.UserDrumTable.fill(-1);
  for (int k = 0; k < 256; ++k) s.drumNoteMap[static_cast<size_t>(k)] = k % 128;

  s.threadStatus = 1;
  s.nowTick = 0;
  s.tickInBeat = 0;
  s.beat = 0;
  s.measure = 0;
  s.repeatPoint.markTick = 0;
  s.songStart = playClock(engine) - 100;
  s.fastForward = 0;
  s.conventionFlags = engine.options.initialConventionFlags.load();
  s.gsDetected = 0;
  s.xgDetected = 0;
  s.undetected = -1;
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
