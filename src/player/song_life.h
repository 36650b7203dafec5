// One song's life, the same for live play and for conversion: loaded by the caller, then
// prepared, started at the chosen measure and beat, given the user's volume, played, left to
// ring when it ended by itself, stopped (its notes silenced, GM System On), and freed. The
// routine runs on the thread that owns the player for the song: the player thread of a live
// run, the worker of a conversion. Its host says how the fixed waits are spent.
#pragma once

#include <cstdint>
#include <string>

#include "player/engine.h"

namespace tessaro {

class SongHost {
 public:
  virtual ~SongHost() = default;
  // The preparation's result, before anything else happens.
  virtual void prepared(int /*code*/) {}
  // A fixed wait of the life: requests that come meanwhile are carried out.
  virtual void wait(int32_t ms) = 0;
  // The first event is about to play.
  virtual void playing() {}
  // How long a song that ended by itself rings before its stop (0: stopped at once).
  virtual int32_t ringMs() const = 0;
  // The stop sequence has gone out.
  virtual void stopped() {}
};

struct SongOutcome {
  int prepared = -1;  // preparePlayback's result: 0 the song played
  int player = 0;     // what the player returned
};

// Loads the file into the engine's song. A song that memory could not be had for (or whose
// large track the user declined) is not played in part: what was loaded is let go. The
// loader's result.
int loadForPlay(Engine& engine, const std::string& path);

// Plays the loaded song from its preparation to its stop, then frees it.
SongOutcome playLoadedSong(Engine& engine, SongHost& host);

// The player's end that means the song could not be played whole.
bool playerFailed(int result);

}  // namespace tessaro
