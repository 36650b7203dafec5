// EventChain: the tracks ordered by the tick of their next event.
#include "player/engine.h"

namespace tessaro {

// Inserts before the first track whose next tick is later: tracks of equal ticks keep the
// order in which they were inserted.
void insertTrack(Engine& engine, int32_t track) {
  PlayerState& s = engine.state;
  auto& cursors = s.cursors;
  int32_t tick = cursors[static_cast<size_t>(track)].nextTick;
  int32_t previous = -1;
  int32_t current = s.chainHead;
  int32_t steps = 0;
  while (current >= 0) {
    if (current > MaxTracks || ++steps > MaxTracks + 1) {
      engine.log.print("Track Chain Broken.\n");
      return;
    }
    if (cursors[static_cast<size_t>(current)].nextTick > tick) break;
    previous = current;
    current = cursors[static_cast<size_t>(current)].chainNext;
  }
  cursors[static_cast<size_t>(track)].chainNext = current;
  if (previous < 0) {
    s.chainHead = track;
  } else {
    cursors[static_cast<size_t>(previous)].chainNext = track;
  }
}

void popTrack(Engine& engine) {
  PlayerState& s = engine.state;
  if (s.chainHead >= 0) s.chainHead = s.cursors[static_cast<size_t>(s.chainHead)].chainNext;
}

int32_t headTick(const Engine& engine) {
  const PlayerState& s = engine.state;
  if (s.chainHead < 0) return -1;
  return s.cursors[static_cast<size_t>(s.chainHead)].nextTick;
}

void rebuildChain(Engine& engine) {
  engine.state.chainHead = -1;
  for (int32_t t = 0; t < engine.song.trackCount; ++t) insertTrack(engine, t);
}

int32_t chainLength(const Engine& engine) {
  const PlayerState& s = engine.state;
  int32_t length = 0;
  for (int32_t t = s.chainHead; t >= 0 && t <= MaxTracks && length <= MaxTracks;
       t = s.cursors[static_cast<size_t>(t)].chainNext) {
    ++length;
  }
  return length;
}

}  // namespace tessaro
