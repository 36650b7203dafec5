#include "player/song_life.h"

#include <algorithm>

namespace tessaro {

int loadForPlay(Engine& engine, const std::string& path) {
  int loaded = loadSong(engine, path.c_str());
  if (loaded == loadNoMemory && engine.song.trackCount != 0) freeSong(engine);
  return loaded;
}

SongOutcome playLoadedSong(Engine& engine, SongHost& host) {
  PlayerState& s = engine.state;
  SongOutcome outcome;
  engine.stage.endFade();
  outcome.prepared = preparePlayback(engine);
  host.prepared(outcome.prepared);
  // Negative positions from the command line count as the start.
  int32_t measure = std::max(engine.options.skipToMeasure, 0);
  int32_t beat = std::max(engine.options.skipToBeat, 0);
  if (outcome.prepared == 0 && (measure >= 1 || beat >= 1))
    positionToMeasure(engine, measure > 0 ? measure - 1 : 0, beat > 0 ? beat - 1 : 0);

  host.wait(200);
  engine.stage.userVolumeChanged();
  host.wait(200);
  host.wait(400);  // the player thread's start

  host.playing();
  outcome.player = playerThread(engine);
  // A song that was not prepared, or that the fade-out ended, has nothing left to stop.
  if (s.threadStatus != 0) {
    // A song that ended by itself rings out first; a stop request cuts the ring short, and an
    // output that has gone has nothing to ring.
    const uint32_t ringEnd = engine.clock.tickMs() + static_cast<uint32_t>(host.ringMs());
    for (int32_t left = host.ringMs(); left > 0 && s.stopRequested == 0 && !outputLost(engine.port);
         left = static_cast<int32_t>(ringEnd - engine.clock.tickMs()))
      waitServing(engine, std::min<int32_t>(left, 210));
    stopPlayback(engine);
  }
  host.stopped();

  host.wait(200);
  resumeOutput(engine.port);  // an interrupt that came after the stop ends with the song
  freeSong(engine);
  engine.stage.userVolumeChanged();
  s.repeatSetByUser = 0;
  return outcome;
}

bool playerFailed(int result) {
  return result == playerOverrun || result == playerBadMeta || result == playerBadSysEx;
}

}  // namespace tessaro
