// What the live synthesizer and the offline renderer share of FluidSynth: owning pointers, the
// settings of a music player, and one whole MIDI message handed to the synthesizer.
#pragma once

#include <fluidsynth.h>

#include <cstdint>
#include <memory>
#include <span>

#include "platform/platform.h"

namespace tessaro::platform::synth {

struct SettingsDeleter {
  void operator()(fluid_settings_t* settings) const { delete_fluid_settings(settings); }
};
struct SynthDeleter {
  void operator()(fluid_synth_t* synth) const { delete_fluid_synth(synth); }
};
using Settings = std::unique_ptr<fluid_settings_t, SettingsDeleter>;
using Synth = std::unique_ptr<fluid_synth_t, SynthDeleter>;

// The gain that leaves headroom for sixteen busy channels with effects.
inline constexpr double defaultGain = 0.5;

// The sample rate the user chose, else the CD rate.
int rateOf(const SynthSettings& chosen);

// A music player's settings: the user's rate and gain (by default the CD rate and defaultGain),
// room for dense songs, reverb and chorus on, and bank selects read as a module of the
// convention reads them. Null when FluidSynth cannot make settings.
Settings makeSettings(ModuleConvention convention, const SynthSettings& chosen);

// Hands one whole message (status first; a system exclusive from 0xF0 to 0xF7) to the
// synthesizer.
void playMessage(fluid_synth_t* synth, std::span<const uint8_t> message);

}  // namespace tessaro::platform::synth
