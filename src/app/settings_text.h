// The settings file as text: only a regular file is read (a FIFO or a device would hold the
// reading for ever), line by line with every line's length bounded; a line that is not text or
// too long is left out (its line end kept, so lines keep their numbers) and noted, and a file
// that is not text at all (NUL bytes, many lines of control bytes) is not read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaro {

// What is wrong with the settings file, found as it was read: line 0 is the file itself.
struct SettingsProblem {
  int line = 0;
  std::string what;
};

// Longest line read (longer ones are skipped whole), most of the file read, and how many lines
// skipped are named one by one.
inline constexpr size_t settingsLineLimit = 8192;
inline constexpr size_t settingsByteLimit = 16u << 20;
inline constexpr size_t settingsProblemsNamed = 5;

// The lines of the file at path that are text, into text. False when it is missing or cannot be
// read (nothing said), or is no regular file or no text at all (said in problems).
bool readSettingsText(const std::string& path, std::vector<uint8_t>& text,
                      std::vector<SettingsProblem>& problems);

}  // namespace tessaro
