// Reading one track's events ahead of the player, the way the player reads them: delta times,
// running status (a channel status resumes after a system exclusive or meta event; a data byte
// with no channel status before it is skipped), the lengths of system exclusives and meta
// events, and where a track breaks off. The walk keeps the track's cursor exactly as the player
// would leave it, so that the player can go on from where a walk stopped.
#pragma once

#include <cstdint>

#include "player/player_state.h"
#include "player/song_data.h"

namespace tessaro {

struct WalkedEvent {
  int32_t tick = 0;
  int status = 0;                 // 0x80-0xEF, 0xF1-0xFE; 0xF0 system exclusive; 0xF7 escape;
                                  // 0xFF meta event
  int type = 0;                   // of a meta event
  const uint8_t* body = nullptr;  // a system exclusive's bytes after 0xF0 (up to its 0xF7), an
  int32_t length = 0;             // escape's or a meta event's bytes
  uint8_t data[2] = {0, 0};       // a channel or system common message's data bytes
  int32_t count = 0;
};

class TrackWalker {
 public:
  // cursor: where the track stands (a prepared cursor walks from its first event).
  TrackWalker(const TrackData& track, TrackCursor& cursor) : track_(track), cursor_(cursor) {}

  // The tick of the next event, its delta time read; -1 when the track has no more events.
  int64_t nextTick();

  enum class Step {
    event,    // an event was read into `event`
    skipped,  // a data byte with no status before it was passed over
    ended,    // End of Track: the track is over
    broken,   // the track breaks off here (its bytes end inside an event, or a system
              // exclusive or meta event has a length that cannot be): the player's song ends
  };
  // Reads the next event.
  Step next(WalkedEvent& event);

 private:
  int byte();
  int64_t quantity();

  const TrackData& track_;
  TrackCursor& cursor_;
};

}  // namespace tessaro
