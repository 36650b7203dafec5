// Cost of a seek: the song read from its start to the target (20,000 events before it) and the
// module's state sent through the translation stage to a serial line that discards every byte,
// in virtual time, so that the module's set-up pauses take no time of their own. Together with
// the wake of the player's wait (at once) and one turn of the main loop (at most 25 ms), this is
// the time from the key to the target's first event, set-up pauses aside.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "platform/virtual_clock.h"
#include "player/engine.h"
#include "support/player_stack.h"
#include "support/smf.h"

namespace {

using namespace tessaro;
using testing::Bytes;
using testing::Track;

constexpr int division = 480;
constexpr int eventsBefore = 20000;

// A GS song: its reset, then on 16 channels notes, controllers, programs, pitch bends and
// parameters, about eventsBefore events before the target measure, and more after it.
Bytes busySong(int32_t& targetTick) {
  Track t;
  t.ev(0, {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7});
  int events = 1;
  uint32_t tick = 0;
  for (int i = 0; events < 2 * eventsBefore; ++i) {
    uint8_t c = static_cast<uint8_t>(i % 16);
    uint8_t v = static_cast<uint8_t>(i % 128);
    t.ev(0, {static_cast<uint8_t>(0xB0 | c), static_cast<uint8_t>(1 + i % 90), v});
    t.ev(0, {static_cast<uint8_t>(0x90 | c), static_cast<uint8_t>(36 + i % 60), 0x50});
    t.ev(30, {static_cast<uint8_t>(0x80 | c), static_cast<uint8_t>(36 + i % 60), 0});
    if (i % 40 == 0) t.ev(0, {static_cast<uint8_t>(0xC0 | c), v});
    if (i % 25 == 0) t.ev(0, {static_cast<uint8_t>(0xE0 | c), 0, v});
    if (i % 97 == 0) {
      t.ev(0, {static_cast<uint8_t>(0xB0 | c), 101, 0})
          .ev(0, {static_cast<uint8_t>(0xB0 | c), 100, 0});
      t.ev(0, {static_cast<uint8_t>(0xB0 | c), 6, static_cast<uint8_t>(v % 24)});
    }
    events += 3 + (i % 40 == 0) + (i % 25 == 0) + 3 * (i % 97 == 0);
    tick += 30;
    if (events <= eventsBefore)
      targetTick = static_cast<int32_t>(tick / (4 * division) + 1) * 4 * division;
  }
  t.end();
  return testing::smf(0, division, {t});
}

struct Rig
    : testing::PlayerStack<platform::VirtualClock, PlayerObserver, testing::NullSerialPorts> {
  int32_t target = 0;
  testing::TempFile file{busySong(target)};

  Rig() {
    log.startCapture();
    openMidiPort(port, 1, 0);
    options.target = Target::xg;
    loadSong(engine, file.path().c_str());
    preparePlayback(engine);
  }
};

void BM_SeekTo(benchmark::State& state) {
  Rig rig;
  for (auto _ : state) seekTo(rig.engine, rig.target);
  state.counters["target tick"] = rig.target;
}
BENCHMARK(BM_SeekTo)->Unit(benchmark::kMillisecond);

}  // namespace
