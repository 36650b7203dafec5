// The built-in software synthesizer (FluidSynth) as a message device: the default output when
// no external MIDI port is named. It plays to the default audio device, or renders in real time
// into a WAV file for machines without sound.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "backends/synth/soundfont.h"
#include "platform/platform.h"

namespace tessaro::platform::synth {

struct SynthOptions {
  std::string soundFont;  // the user's SoundFont file or directory; empty to search
  std::string soundFontSource = "TESSARO_SOUNDFONT";  // where the user named it
  std::string soundFontDir = systemSoundFontDir;
  int sampleRate = 0;  // 0: the CD rate
  double gain = -1;    // below 0: the default gain
  // Record into this file instead of playing; empty to play. With wavFile the recording is
  // written into that temporary file and committed when the device finishes, if something
  // sounded and the recording was not discarded; without it, straight into wavPath.
  std::string wavPath;
  std::unique_ptr<PendingFile> wavFile;
  std::shared_ptr<const std::atomic<bool>> discardRecording;
};

// Sample rate of the synthesizer and of the WAV file unless the user chooses another.
inline constexpr int sampleRate = 44100;
// Frames the WAV renderer adds on each turn; events still land at the sample of their arrival.
inline constexpr int renderPeriodFrames = 256;

// Opens the synthesizer. On failure the result's reason says why in plain words (no SoundFont,
// no audio device, the WAV file cannot be written). A recording that fails to be written is
// the device's fault(), which ends the run.
MidiOpenResult openSynthesizer(SynthOptions options);

// The CLOCK_MONOTONIC time in nanoseconds of the first sample of the WAV file that device
// renders into, or -1 when device is not a synthesizer rendering to a file.
int64_t wavTimeOrigin(const MidiOutDevice& device);

}  // namespace tessaro::platform::synth
