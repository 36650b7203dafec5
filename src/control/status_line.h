// The status line of a terminal: where the song is and what the keys have set, as one line
// that the main loop rewrites in place. Its text is made from given values only.
#pragma once

#include <cstdint>
#include <string>

namespace tessaro {

struct StatusValues {
  int64_t elapsedMs = 0;
  int64_t totalMs = 0;  // 0: unknown
  int32_t measure = 0;  // from 1, as the player counts (0 before its first event)
  int32_t beat = 0;
  int32_t tempo = 500000;  // microseconds per quarter note
  int32_t speedDivisor = 1000;
  int32_t volume = 0;   // the user's volume offset
  int32_t repeats = 0;  // repeats left
  std::string action;   // what the last key did; empty: nothing yet
  bool paused = false;
};

// The line, cut to fit columns - 1 characters (the last column stays free, so the terminal
// never wraps it).
std::string statusLineText(const StatusValues& values, int columns);

// What the status line shows of a live session.
struct LiveStatusValues {
  std::string convention;  // the input's convention as shown, and the target
  uint64_t passed = 0;     // messages passed to the output
  uint64_t dropped = 0;    // what the input sent that could not be passed on
  int32_t volume = 0;
  std::string action;
};

std::string liveStatusLineText(const LiveStatusValues& values, int columns);

}  // namespace tessaro
