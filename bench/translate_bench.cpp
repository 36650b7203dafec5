// Cost of the real-time translation: the time the player spends in the translation per channel
// message and per system-exclusive message, a GS song translated for an XG module, with the
// output port on a serial line that discards every byte (so the port's framing is included,
// the device's time is not).
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "platform/virtual_clock.h"
#include "player/engine.h"
#include "support/player_stack.h"
#include "translate/translate.h"

namespace {

using namespace tessaro;

class NoMidiOutputs : public platform::MidiOutputs {
 public:
  platform::MidiOpenResult open(uint32_t) override { return {}; }
};

// A stage in the state a GS song leaves after its reset, translated for XG; channel 10 and
// channel 2 are drum parts.
struct Rig
    : testing::PlayerStack<platform::VirtualClock, PlayerObserver, testing::NullSerialPorts> {
  TranslationStage& stage = session.stage;

  Rig() {
    log.startCapture();  // the port's open message is not part of the figures
    openMidiPort(port, 1, 0);
    stage.startSong();
    stage.translator.channels[1].rhythmMode = 2;
    stage.translator.shown = SongConvention::gs;
    options.target = Target::xg;
  }

  // One channel message as the player hands it to the stage, which sends it unless it was
  // consumed.
  void channel(const std::vector<uint8_t>& m) {
    translate::ChannelMessage message{
        m[0], {m[1], m.size() > 2 ? m[2] : uint8_t{0}}, static_cast<int32_t>(m.size()) - 1};
    stage.channelMessage(message, false);
  }
  void systemExclusive(const std::vector<uint8_t>& body) {
    stage.systemExclusive(body.data(), static_cast<int32_t>(body.size()), false);
  }
};

// A mix of what songs are made of: mostly notes, then controllers, few program changes.
const std::vector<std::vector<uint8_t>> songMix = {
    {0x99, 40, 100}, {0x90, 60, 100}, {0x91, 24, 90}, {0x89, 40, 0}, {0x80, 60, 0}, {0x81, 24, 0},
    {0xB0, 7, 100},  {0xB9, 91, 40},  {0xB0, 11, 90}, {0xE0, 0, 64}, {0xB0, 0, 8},  {0xC0, 4},
    {0xB0, 0, 0},    {0xB0, 1, 20},   {0x92, 64, 80}, {0x82, 64, 0},
};

void runChannel(benchmark::State& state, const std::vector<std::vector<uint8_t>>& messages) {
  Rig rig;
  size_t i = 0;
  for (auto _ : state) {
    rig.channel(messages[i]);
    i = i + 1 == messages.size() ? 0 : i + 1;
  }
  state.SetItemsProcessed(state.iterations());
}

void ChannelSongMix(benchmark::State& state) {
  runChannel(state, songMix);
}
void ChannelDrumNotes(benchmark::State& state) {
  runChannel(state, {{0x99, 40, 100}, {0x89, 40, 0}, {0x91, 24, 90}, {0x81, 24, 0}});
}
void ChannelVolumeAndReverb(benchmark::State& state) {
  runChannel(state, {{0xB9, 7, 100}, {0xB0, 91, 40}});
}
// A GS variation on an XG module: three messages go out in place of one.
void ChannelProgramChange(benchmark::State& state) {
  runChannel(state, {{0xB0, 0, 8}, {0xC0, 4}});
}

void runSysEx(benchmark::State& state, std::vector<uint8_t> body) {
  Rig rig;
  for (auto _ : state) rig.systemExclusive(body);
  state.SetItemsProcessed(state.iterations());
}

// Another maker's message, sent unchanged.
void SysExUnchanged(benchmark::State& state) {
  runSysEx(state, {0x43, 0x10, 0x4C, 0x02, 0x01, 0x00, 0x01, 0x10, 0xF7});
}
// A GS part pan, one controller in its place.
void SysExPartPan(benchmark::State& state) {
  runSysEx(state, {0x41, 0x10, 0x42, 0x12, 0x40, 0x11, 0x1C, 0x30, 0x00, 0xF7});
}
// A GS parameter that is dropped.
void SysExDropped(benchmark::State& state) {
  runSysEx(state, {0x41, 0x10, 0x42, 0x12, 0x40, 0x01, 0x30, 0x04, 0x00, 0xF7});
}
// Master tune: 96 controllers in its place.
void SysExMasterTune(benchmark::State& state) {
  runSysEx(state, {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x3C, 0xF7});
}

BENCHMARK(ChannelSongMix);
BENCHMARK(ChannelDrumNotes);
BENCHMARK(ChannelVolumeAndReverb);
BENCHMARK(ChannelProgramChange);
BENCHMARK(SysExUnchanged);
BENCHMARK(SysExPartPan);
BENCHMARK(SysExDropped);
BENCHMARK(SysExMasterTune);

}  // namespace
