// A session on capture devices (a serial line that records every write, a message device that
// records every word and block) with a clock and a player observer of the caller's choosing: the
// one wiring of the player shared by the tests, the fuzz targets and the benchmarks. No test
// framework here.
#pragma once

#include <memory>
#include <type_traits>

#include "common/log.h"
#include "control/session.h"
#include "player/engine.h"
#include "support/virtual_platform.h"

namespace tessaro::testing {

// Serial ports whose line takes every byte and keeps none (the benchmarks' output).
class NullSerialPorts : public platform::SerialPorts {
 public:
  platform::SerialOpenResult open(int) override {
    platform::SerialOpenResult result;
    result.line = std::make_unique<Line>();
    return result;
  }

 private:
  class Line : public platform::SerialLine {
   public:
    int write(const uint8_t*, size_t) override { return 0; }
  };
};

// A service built on the clock when it takes one.
template <class T, class ClockType>
T madeWith(ClockType& clock) {
  if constexpr (std::is_constructible_v<T, ClockType&>) {
    return T(clock);
  } else {
    return T();
  }
}

template <class ClockType = VirtualClock, class ObserverType = PlayerObserver,
          class SerialType = CaptureSerialPorts>
struct PlayerStack {
  ClockType clock;
  ObserverType observer;
  SerialType serial = madeWith<SerialType>(clock);
  CaptureMidiOutputs midi{clock};
  Log log;
  Session session{clock, serial, midi, log, observer};
  PlaybackOptions& options = session.options;
  MidiPort& port = session.port;
  Engine& engine = session.engine;
  ExitHandlers& exits = session.exitHandlers;
};

}  // namespace tessaro::testing
