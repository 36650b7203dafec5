// FileCue: the play list. Entries are played from the front and leave it once played, so the
// list always shows what is still to come. Also the file-name helpers shared by the start-up,
// the settings file and the display.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>

#include "platform/platform.h"

namespace tessaro {

constexpr int CueCapacity = 100;
// Longest path an entry holds (the system's path limit, terminator excluded).
constexpr size_t CuePathLimit = 4095;

// Values of the display that follow the cue when entries leave its front.
struct CueView {
  int32_t ListTop = 0;
  int32_t SelectedEntry = -1;  // -1 none
  int32_t titleLength = 0;     // cue length the title was last built for
  int32_t titlePosition = 0;   // position the title was last built for
};

struct FileCue {
  std::array<std::string, CueCapacity> entries;
  int32_t length = 0;
  int32_t current = 0;
  int32_t droppedCount = 0;
  // Names given beyond the capacity: they join the entries as played ones leave.
  std::deque<std::string> backlog;
};

// Empties every entry.
void clearCue(FileCue& cue);
// Appends a name; false (and nothing added) when the cue is full or the name too long.
bool appendEntry(FileCue& cue, const std::string& name);
// Removes the played entries from the front before the next song; the backlog fills the room.
void dropPlayedEntries(FileCue& cue, CueView& view);

// The path up to and including its last separator; empty when there is none.
std::string directoryPart(const std::string& path, char separator, bool skipLeadBytes);
// The name from its last '.' on: -1 with the extension when there is a dot, else 0 and empty.
int extensionPart(const std::string& name, std::string& extension, bool skipLeadBytes);
// Shift-JIS lead byte: the byte after it belongs to the same character.
bool isLeadByte(unsigned char byte);
// The name (without directory) of the first file matching a name or pattern: 0; no match -1;
// only directories -1 or -2. The name is empty on failure.
int findFileName(platform::FileSystem& files, const std::string& pattern, std::string& name);

}  // namespace tessaro
