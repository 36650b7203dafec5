#include "backends/synth/fluid_support.h"

#include "backends/synth/synth_device.h"

namespace tessaro::platform::synth {

int rateOf(const SynthSettings& chosen) {
  return chosen.sampleRate > 0 ? chosen.sampleRate : sampleRate;
}

Settings makeSettings(ModuleConvention convention, const SynthSettings& chosen) {
  Settings settings(new_fluid_settings());
  if (!settings) return settings;
  fluid_settings_t* s = settings.get();
  fluid_settings_setnum(s, "synth.sample-rate", rateOf(chosen));
  fluid_settings_setint(s, "synth.polyphony", 256);
  fluid_settings_setnum(s, "synth.gain", chosen.gain >= 0 ? chosen.gain : defaultGain);
  fluid_settings_setint(s, "synth.reverb.active", 1);
  fluid_settings_setint(s, "synth.chorus.active", 1);
  const char* banks = convention == ModuleConvention::xg   ? "xg"
                      : convention == ModuleConvention::gm ? "gm"
                                                           : "gs";
  fluid_settings_setstr(s, "synth.midi-bank-select", banks);
  // GS and XG messages are addressed to device 0x10, the modules' own default; FluidSynth
  // would otherwise answer only to messages for all devices.
  fluid_settings_setint(s, "synth.device-id", 0x10);
  return settings;
}

void playMessage(fluid_synth_t* synth, std::span<const uint8_t> m) {
  const uint8_t status = m[0];
  if (status == 0xF0) {
    // FluidSynth takes the bytes between 0xF0 and 0xF7; it acts on GM System On, GS Reset,
    // XG System On (each also choosing how bank selects are read) and some GS parameters.
    if (m.size() > 2)
      fluid_synth_sysex(synth, reinterpret_cast<const char*>(m.data() + 1),
                        static_cast<int>(m.size() - 2), nullptr, nullptr, nullptr, 0);
    return;
  }
  if (status == 0xFF) {
    fluid_synth_system_reset(synth);
    return;
  }
  if (status >= 0xF0) return;  // timing and song-position messages mean nothing to a synthesizer
  const int channel = status & 0x0F;
  const int d1 = m.size() > 1 ? m[1] : 0;
  const int d2 = m.size() > 2 ? m[2] : 0;
  switch (status & 0xF0) {
    case 0x80:
      fluid_synth_noteoff(synth, channel, d1);
      break;
    case 0x90:
      fluid_synth_noteon(synth, channel, d1, d2);  // velocity 0 is a note-off
      break;
    case 0xA0:
      fluid_synth_key_pressure(synth, channel, d1, d2);
      break;
    case 0xB0:
      fluid_synth_cc(synth, channel, d1, d2);
      break;
    case 0xC0:
      fluid_synth_program_change(synth, channel, d1);
      break;
    case 0xD0:
      fluid_synth_channel_pressure(synth, channel, d1);
      break;
    default:
      fluid_synth_pitch_bend(synth, channel, d1 | d2 << 7);
      break;
  }
}

}  // namespace tessaro::platform::synth
