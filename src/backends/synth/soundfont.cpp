#include "backends/synth/soundfont.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace tessaro::platform::synth {

namespace {

constexpr char installHint[] =
    "install timgm6mb-soundfont or fluid-soundfont-gm, or set TESSARO_SOUNDFONT to a .sf2 file";

bool isRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool endsWithSf2(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  });
  return tail == ".sf2";
}

// The first .sf2 file of dir by name (links followed, dangling ones skipped); empty when none.
std::string firstSoundFontIn(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* listing = ::opendir(dir.c_str())) {
    while (const dirent* entry = ::readdir(listing)) {
      std::string name = entry->d_name;
      if (endsWithSf2(name) && isRegularFile(dir + "/" + name)) names.push_back(name);
    }
    ::closedir(listing);
  }
  if (names.empty()) return {};
  return dir + "/" + *std::min_element(names.begin(), names.end());
}

SoundFontChoice fromUserChoice(const std::string& choice, const std::string& source) {
  struct stat info {};
  const std::string named = choice + " (" + source + ")";
  if (::stat(choice.c_str(), &info) != 0) return {{}, named + ": " + std::strerror(errno)};
  // A FIFO or a device would hold the synthesizer's reading for ever.
  if (S_ISREG(info.st_mode)) return {choice, {}};
  if (!S_ISDIR(info.st_mode)) return {{}, named + ": not a regular file"};
  std::string found = firstSoundFontIn(choice);
  if (found.empty()) return {{}, named + ": no .sf2 file in this directory"};
  return {found, {}};
}

}  // namespace

SoundFontChoice findSoundFont(const std::string& userChoice, const std::string& systemDir,
                              const std::string& source) {
  if (!userChoice.empty()) return fromUserChoice(userChoice, source);
  std::string preferred = systemDir + "/default-GM.sf2";
  if (isRegularFile(preferred)) return {preferred, {}};
  std::string found = firstSoundFontIn(systemDir);
  if (found.empty()) {
    return {{}, systemDir + ": no SoundFont found: " + installHint};
  }
  return {found, {}};
}

}  // namespace tessaro::platform::synth
