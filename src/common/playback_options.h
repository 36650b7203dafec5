// PlaybackOptions: the user's choices, set by the command line and the settings file, each in
// one place. Only the command layer writes them; the player, the translation stage and the
// window read them, from whatever thread they run on, so every field a key or a window control
// changes while something plays is atomic.
#pragma once

#include <atomic>
#include <cstdint>

#include "common/conventions.h"

namespace tessaro {

struct PlaybackOptions {
  int32_t comPort = 0;                     // 0 the MIDI mapper, 1-99 the serial port COMn
  std::atomic<int> DispLevel{0};           // 0-9: how much is reported on the console
  std::atomic<Target> target{Target::xg};  // the module every song is translated for
  int32_t skipToMeasure = 0;               // measure every song starts at, from 1; 0 the start
  int32_t skipToBeat = 0;                  // beat within that measure, from 1; 0 beat 1
  std::atomic<int32_t> volumeAdd{0};       // the user's volume add value
  std::atomic<int32_t> fadeInterval{210};  // milliseconds between fade-out steps
  std::atomic<int32_t> fadeStep{3};        // volume units each fade-out step takes off
  bool consoleMode = false;                // keep taking console keys after start-up

  PlaybackOptions() = default;
  // The choices as they stand: what an offline conversion starts its own sessions with.
  PlaybackOptions(const PlaybackOptions& other)
      : comPort(other.comPort),
        DispLevel(other.DispLevel.load()),
        target(other.target.load()),
        skipToMeasure(other.skipToMeasure),
        skipToBeat(other.skipToBeat),
        volumeAdd(other.volumeAdd.load()),
        fadeInterval(other.fadeInterval.load()),
        fadeStep(other.fadeStep.load()),
        consoleMode(other.consoleMode) {}
  PlaybackOptions& operator=(const PlaybackOptions&) = delete;
};

}  // namespace tessaro
