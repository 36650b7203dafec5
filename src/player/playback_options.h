// PlaybackOptions: the values set by the command line and the settings file, each in one place.
// The fields that keys and window controls change while a song plays are atomic, since the
// player reads them.
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
  bool consoleMode = false;                // keep taking console keys after start-up
};

}  // namespace tessaro
