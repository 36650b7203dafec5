// Where the built-in synthesizer finds its SoundFont.
#pragma once

#include <string>

namespace tessaro::platform::synth {

// The directory Debian's SoundFont packages install into.
inline constexpr char systemSoundFontDir[] = "/usr/share/sounds/sf2";

struct SoundFontChoice {
  std::string path;    // the SoundFont to load; empty when none was found
  std::string reason;  // when none was found: "NAME: what", NAME the place looked at
};

// The user's choice (--soundfont or TESSARO_SOUNDFONT, which source names: a file, or a
// directory whose first .sf2 file is taken) when given, else default-GM.sf2 in the system
// directory, else its first .sf2 file by name. A user's choice that names nothing usable is an
// error, not a reason to fall back.
SoundFontChoice findSoundFont(const std::string& userChoice, const std::string& systemDir,
                              const std::string& source = "TESSARO_SOUNDFONT");

}  // namespace tessaro::platform::synth
