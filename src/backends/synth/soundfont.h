// Where the built-in synthesizer finds its SoundFont.
#pragma once

#include <string>

namespace tessaro::platform::synth {

// The directory Debian's SoundFont packages install into.
inline constexpr char systemSoundFontDir[] = "/usr/share/sounds/sf2";

struct SoundFontChoice {
  std::string path;    // the SoundFont to load; empty when none was found
  std::string reason;  // plain words when none was found
};

// The user's choice (TESSARO_SOUNDFONT: a file, or a directory whose first .sf2 file is taken)
// when given, else default-GM.sf2 in the system directory, else its first .sf2 file by name.
// A user's choice that names nothing usable is an error, not a reason to fall back.
SoundFontChoice findSoundFont(const std::string& userChoice, const std::string& systemDir);

}  // namespace tessaro::platform::synth
