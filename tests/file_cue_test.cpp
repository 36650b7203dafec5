// The play list as a user sees it: entries leave the front once played and the list view
// follows them; and the file-name helpers, including names with two-byte characters.
#include "control/file_cue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "midiout/midi_port.h"

namespace {

using namespace tessaro;

FileCue cueOf(const std::vector<std::string>& names) {
  FileCue cue;
  for (const auto& name : names) {
    if (!appendEntry(cue, name)) cue.backlog.push_back(name);
  }
  return cue;
}

std::vector<std::string> namesIn(const FileCue& cue) {
  return {cue.entries.begin(), cue.entries.begin() + cue.length};
}

TEST(PlayList, HoldsAHundredNamesOfUpToThePathLimit) {
  FileCue cue;
  for (int i = 0; i < CueCapacity; ++i) ASSERT_TRUE(appendEntry(cue, std::to_string(i)));
  EXPECT_FALSE(appendEntry(cue, "one.too.many"));
  EXPECT_EQ(cue.length, CueCapacity);
  EXPECT_EQ(cue.entries[CueCapacity - 1], "99");

  FileCue names;
  EXPECT_FALSE(appendEntry(names, std::string(CuePathLimit + 1, 'x')));
  EXPECT_EQ(names.length, 0);
  EXPECT_TRUE(appendEntry(names, std::string(CuePathLimit, 'x')));
  EXPECT_EQ(names.length, 1);
}

TEST(PlayList, PlayedSongsLeaveTheFront) {
  FileCue cue = cueOf({"a", "b", "c"});
  CueView view{.ListTop = 0, .SelectedEntry = -1, .titleLength = 3, .titlePosition = 0};
  dropPlayedEntries(cue, view);  // a about to play: nothing played yet
  EXPECT_EQ(namesIn(cue), (std::vector<std::string>{"a", "b", "c"}));

  cue.current = 1;  // b about to play
  view.titlePosition = 1;
  dropPlayedEntries(cue, view);
  EXPECT_EQ(namesIn(cue), (std::vector<std::string>{"b", "c"}));
  EXPECT_EQ(cue.current, 0);
  EXPECT_EQ(cue.droppedCount, 1);
  EXPECT_EQ(view.titleLength, 2);
  EXPECT_EQ(view.titlePosition, 0);
  EXPECT_EQ(cue.entries[2], "");  // no stale name past the end

  cue.current = 1;  // c about to play
  dropPlayedEntries(cue, view);
  EXPECT_EQ(namesIn(cue), (std::vector<std::string>{"c"}));
  EXPECT_EQ(cue.droppedCount, 2);

  ASSERT_TRUE(appendEntry(cue, "d"));  // added while c plays
  EXPECT_EQ(namesIn(cue), (std::vector<std::string>{"c", "d"}));

  FileCue last = cueOf({"only"});
  last.current = 1;
  dropPlayedEntries(last, view);
  EXPECT_EQ(namesIn(last), (std::vector<std::string>{"only"}));
  EXPECT_EQ(last.current, 1);
  EXPECT_EQ(last.droppedCount, 0);
}

TEST(PlayList, ListViewFollowsRemovedEntries) {
  const struct {
    int current;
    CueView before;
    CueView after;
  } cases[] = {
      // Selection stays on the same song; a removed selection becomes none.
      {1, {0, 2, 3, 1}, {0, 1, 2, 0}},
      {1, {0, 0, 3, 1}, {0, -1, 2, 0}},
      {1, {0, -1, 3, 1}, {0, -1, 2, 0}},
      // The top line never points past the last entry.
      {1, {2, -1, 3, 1}, {1, -1, 2, 0}},
      {1, {1, -1, 3, 1}, {1, -1, 2, 0}},
      {2, {2, 2, 3, 2}, {0, 0, 1, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    FileCue cue = cueOf({"a", "b", "c"});
    cue.current = c.current;
    CueView view = c.before;
    dropPlayedEntries(cue, view);
    EXPECT_EQ(view.ListTop, c.after.ListTop);
    EXPECT_EQ(view.SelectedEntry, c.after.SelectedEntry);
    EXPECT_EQ(view.titleLength, c.after.titleLength);
    EXPECT_EQ(view.titlePosition, c.after.titlePosition);
  }
}

std::vector<std::string> shuffled(std::vector<std::string> names, uint32_t seed) {
  std::mt19937 random(seed);
  shuffleNames(names, random);
  return names;
}

TEST(PlayList, ShuffledIsAPermutationAndASeedGivesItsOrderAgain) {
  std::vector<std::string> names{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"};
  std::vector<std::string> order = shuffled(names, 42);
  EXPECT_EQ(order, shuffled(names, 42));
  EXPECT_NE(order, shuffled(names, 43));
  EXPECT_NE(order, names);
  std::sort(order.begin(), order.end());
  EXPECT_EQ(order, names);
  // The same on every machine. By hand: seed 1's first words 1791095845, 4282876139,
  // 3093770124, 4005303368 modulo 5, 4, 3, 2 swap places 4, 3, 2, 1 with 0, 3, 0, 0.
  EXPECT_EQ(shuffled({"a", "b", "c", "d", "e"}, 1),
            (std::vector<std::string>{"b", "c", "e", "d", "a"}));
}

// Every song is shuffled, those beyond the capacity too; a repeated list anew each round, which
// never starts with the song just ended; a round in which no song could play ends the run.
TEST(PlayList, ShuffledRoundsHoldEverySong) {
  std::vector<std::string> names;
  for (int i = 100; i < 250; ++i) names.push_back(std::to_string(i));
  FileCue cue = cueOf(names);
  cue.order = {true, true, 7, true};
  CueView view;
  Log log;
  log.startCapture();
  beginList(cue, view, log);
  EXPECT_EQ(log.captured(), "Shuffled (seed 7)\n");
  std::vector<std::string> rounds[2];
  for (std::vector<std::string>& round : rounds) {
    while (round.size() < names.size()) {
      dropPlayedEntries(cue, view);
      round.push_back(cue.entries[static_cast<size_t>(cue.current)]);
      advanceCue(cue, view, true);
    }
  }
  EXPECT_NE(rounds[0], rounds[1]);
  EXPECT_NE(rounds[1].front(), rounds[0].back());
  for (std::vector<std::string>& round : rounds) std::sort(round.begin(), round.end());
  EXPECT_EQ(rounds[0], names);
  EXPECT_EQ(rounds[1], names);
  FileCue failing = cueOf({"a"});
  failing.order.loop = true;
  advanceCue(failing, view, false);
  EXPECT_EQ(failing.current, failing.length) << "the run ends";
}

TEST(FileNames, DirectoryPart) {
  const struct {
    std::string path;
    char separator;
    bool skipLeadBytes;
    std::string directory;
  } cases[] = {
      {"C:\\music\\song.mid", '\\', false, "C:\\music\\"},
      {"/home/u/song.mid", '/', false, "/home/u/"},
      {"song.mid", '/', false, ""},
      {"", '/', false, ""},
      {"dir/", '/', false, "dir/"},
      // The second byte of a two-byte character may equal the separator.
      {"\x95\x5Cx", '\\', true, ""},
      {"\x95\x5Cx", '\\', false, "\x95\x5C"},
      {"\x95\x5C\\x.mid", '\\', true, "\x95\x5C\\"},
      {"d\\\x83\x5C\\\x83\x5C.mid", '\\', true, "d\\\x83\x5C\\"},
      {"a\\\x81", '\\', true, "a\\"},  // a lead byte at the very end
  };
  for (const auto& c : cases)
    EXPECT_EQ(directoryPart(c.path, c.separator, c.skipLeadBytes), c.directory) << c.path;

  // Only 0x81-0x9F and 0xE0-0xFC start a two-byte character.
  const struct {
    unsigned char byte;
    bool lead;
  } bytes[] = {{0x80, false}, {0x81, true}, {0x9F, true}, {0xA0, false},
               {0xDF, false}, {0xE0, true}, {0xFC, true}, {0xFD, false}};
  for (const auto& b : bytes) {
    std::string path = std::string(1, static_cast<char>(b.byte)) + "\\x";
    EXPECT_EQ(directoryPart(path, '\\', true), b.lead ? "" : path.substr(0, 2)) << int(b.byte);
  }
}

TEST(FileNames, ExtensionPart) {
  const struct {
    std::string name;
    bool skipLeadBytes;
    int result;
    std::string extension;
  } cases[] = {
      {"song.mid", false, -1, ".mid"},
      {"a.b.MID", false, -1, ".MID"},
      {".mid", false, -1, ".mid"},
      {"song.", false, -1, "."},
      {"song", false, 0, ""},
      {"", false, 0, ""},
      {"\x95.x", true, 0, ""},
      {"\x95.x", false, -1, ".x"},
      {"\x83\x5C.mid", true, -1, ".mid"},
  };
  for (const auto& c : cases) {
    std::string extension = "stale";
    EXPECT_EQ(extensionPart(c.name, extension, c.skipLeadBytes), c.result) << c.name;
    EXPECT_EQ(extension, c.extension) << c.name;
  }
}

TEST(FileNames, MidiFilesAreKnownByExtension) {
  const struct {
    const char* name;
    bool midi;
  } cases[] = {{"song.mid", true}, {"SONG.MID", true},   {"a.midi", true}, {"x.Mid", true},
               {"a.mi", false},    {"notes.txt", false}, {"mid", false},   {"mid.", false}};
  for (const auto& c : cases) {
    std::string extension;
    extensionPart(c.name, extension, false);
    EXPECT_EQ(matchesPrefixNoCase(extension.c_str(), ".MID") == 0, c.midi) << c.name;
  }
}

// Hands out scripted matches, at most as many as asked for.
class ScriptedFiles : public platform::FileSystem {
 public:
  explicit ScriptedFiles(std::vector<platform::FileMatch> matches) : matches_(std::move(matches)) {}
  std::vector<platform::FileMatch> findFiles(const std::string& pattern, size_t limit) override {
    patterns.push_back(pattern);
    if (matches_.size() > limit) matches_.resize(limit);
    return matches_;
  }
  std::vector<std::string> patterns;

 private:
  std::vector<platform::FileMatch> matches_;
};

TEST(FileNames, FirstMatchingFile) {
  const platform::FileMatch dot{".", true}, up{"..", true}, a{"a.mid", false}, b{"b.mid", false};
  const struct {
    std::vector<platform::FileMatch> matches;
    int result;
    std::string name;
  } cases[] = {
      {{}, -1, ""},           {{a}, 0, "a.mid"},   {{a, b}, 0, "a.mid"},   {{dot}, -1, ""},
      {{dot, a}, 0, "a.mid"}, {{dot, up}, -2, ""}, {{dot, up, a}, -2, ""},
  };
  for (const auto& c : cases) {
    ScriptedFiles files(c.matches);
    std::string name = "stale";
    EXPECT_EQ(findFileName(files, "music/*.mid", name), c.result) << c.name;
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(files.patterns, std::vector<std::string>{"music/*.mid"});
  }
}

}  // namespace
