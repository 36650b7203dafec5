// FileCue: the play list. Entries are played from the front and leave it once played, so the
// list always shows what is still to come. Also the file-name helpers shared by the start-up,
// the settings file and the display.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "common/log.h"
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

// What follows the song playing: the next entry, or the song played before it (the p key).
enum class SongMove { next, previous };

// How the list is ordered and repeated, as the options chose it.
struct ListOrder {
  bool shuffle = false;
  bool seeded = false;  // the shuffle's order is the one the seed gives, on every machine
  uint32_t seed = 0;
  bool loop = false;  // after its last song the list starts again
};

struct FileCue {
  std::array<std::string, CueCapacity> entries;
  int32_t length = 0;
  int32_t current = 0;
  int32_t droppedCount = 0;  // the number of played songs
  // Names given beyond the capacity: they join the entries as played ones leave.
  std::deque<std::string> backlog;
  // The songs that have left the front, in the order they played: the previous song comes
  // back from here, and a repeated list is made of them.
  std::vector<std::string> played;
  SongMove after = SongMove::next;
  ListOrder order;
  std::mt19937 random;       // the shuffle's generator, seeded as the list begins
  bool roundPlayed = false;  // a song of this round of the list could be played
};

// Empties every entry and forgets the songs played.
void clearCue(FileCue& cue);
// Appends a name; false (and nothing added) when the cue is full or the name too long.
bool appendEntry(FileCue& cue, const std::string& name);
// Removes the played entries from the front before the next song; the backlog fills the room.
void dropPlayedEntries(FileCue& cue, CueView& view);

// Before the first song, when the list is to be shuffled: the generator is seeded (with the
// order's seed, or a fresh one, which is said so that the order can be had again) and the
// whole list shuffled.
void beginList(FileCue& cue, CueView& view, Log& log);
// After a song (songPlayed: it could be played): the next entry follows, or, after p, the song
// played before it (with the one that just played after it again; at the first song, the same
// song). After the last song a repeated list starts again, shuffled anew when it is shuffled,
// unless no song of the round could be played.
void advanceCue(FileCue& cue, CueView& view, bool songPlayed);
// A seed written in decimal digits alone, 0 to 4294967295; false for anything else.
bool seedFromText(const std::string& text, uint32_t& seed);
// Seeds the generator with the order's seed, or a fresh one; the seed used.
uint32_t seedShuffle(const ListOrder& order, std::mt19937& random);
// Puts the names in a random order: every order equally likely, and for one state of the
// generator the same order on every machine.
void shuffleNames(std::vector<std::string>& names, std::mt19937& random);

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
