// The built-in synthesizer rendering audio files offline, with a sample clock and as fast as
// the machine allows: WAV, FLAC and Ogg Vorbis files through libsndfile, 16-bit stereo at the
// synthesizer's rate, with the settings of the live synthesizer.
#pragma once

#include <memory>
#include <string>

#include "backends/synth/soundfont.h"
#include "platform/platform.h"

namespace tessaro::platform::synth {

// Each sound level at or below this (in 16-bit steps, FluidSynth's dither included) counts as
// silence; a ring-out ends after quietFrames of it.
inline constexpr int quietLevel = 2;
inline constexpr int quietMs = 50;

class OfflineRenderers : public AudioRenderers {
 public:
  // userSoundFont: the variable's choice (TESSARO_SOUNDFONT), empty to search soundFontDir;
  // a SoundFont configured by the user's option wins over it.
  explicit OfflineRenderers(std::string userSoundFont,
                            std::string soundFontDir = systemSoundFontDir);

  // The configured rate, by default the CD rate.
  int sampleRate() const override;
  bool writes(const std::string& extension) const override;
  // Finds and tries the SoundFont, and sets FluidSynth's process-wide state: its log functions
  // (errors kept for the thread that causes them, nothing printed) and its tables. The reason
  // names the file or the place at fault first.
  bool prepare(std::string& reason) override;
  void configure(const SynthSettings& settings) override;
  AudioRendererOpen open(const std::string& path, ModuleConvention convention,
                         const std::atomic<bool>& stop) override;

 private:
  std::string userSoundFont_;
  std::string soundFontDir_;
  SynthSettings settings_;
  std::string soundFont_;  // found by prepare
};

}  // namespace tessaro::platform::synth
