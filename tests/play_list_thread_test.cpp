// The play list in a whole run, in virtual time with the player on its own thread: n and p
// while a song plays, and the list repeated with --loop. Each song strikes its own key first;
// the first notes on the wire give the songs in the order they played.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/lockstep_app.h"
#include "support/temp_dir.h"

namespace tessaro::testing {
namespace {

constexpr uint8_t fillerKey = 0x30;
constexpr int fillerNotes = 40;
constexpr int ctrlC = -1;

// Its own key, then forty short notes: ten seconds in all.
Bytes songOf(uint8_t key) {
  Track t;
  t.ev(0, {0x90, key, 0x64}).ev(120, {0x80, key, 0x00});
  for (int i = 0; i < fillerNotes; ++i)
    t.ev(0, {0x90, fillerKey, 0x64}).ev(120, {0x80, fillerKey, 0});
  t.end();
  return smf(0, 480, {t});
}

// The songs in the order they started: A for the song on key 'A', in small letters when it was
// cut short.
std::string songsStarted(const Bytes& wire) {
  std::string songs;
  int fillers = fillerNotes;
  for (const Bytes& m : messagesOnWire(wire)) {
    if (m.size() != 3 || m[0] != 0x90 || m[2] == 0) continue;
    if (m[1] == fillerKey) {
      ++fillers;
      continue;
    }
    if (fillers < fillerNotes) songs.back() = static_cast<char>(songs.back() - 'A' + 'a');
    songs.push_back(static_cast<char>(m[1]));
    fillers = 0;
  }
  if (!songs.empty() && fillers < fillerNotes)
    songs.back() = static_cast<char>(songs.back() - 'A' + 'a');
  return songs;
}

struct ListRun {
  const char* name;
  std::vector<std::string> words;  // A.mid, B.mid and C.mid are in the folder
  std::map<size_t, int> keys;      // the key given as the nth song starts (ctrlC: a stop)
  std::string played;
  bool window = false;
};

class PlayListRun : public ::testing::TestWithParam<ListRun> {};

TEST_P(PlayListRun, SongsPlayInTheOrderAsked) {
  const ListRun& run = GetParam();
  FileTree folder;
  for (const char* song : {"A", "B", "C"}) {
    Bytes bytes = songOf(static_cast<uint8_t>(song[0]));
    folder.file(std::string(song) + ".mid", std::string(bytes.begin(), bytes.end()));
  }
  LockstepApp app;
  app.withWindow = run.window;
  std::map<size_t, int> keys = run.keys;
  auto give = [&app, &keys] {
    auto next = keys.find(songsStarted(app.serial.wire).size());
    if (next == keys.end()) return;
    if (next->second == ctrlC) {
      app.console.stopRequested = true;
    } else if (app.withWindow) {
      app.windows.events->key(next->second);
    } else {
      app.console.keys.push_back(next->second);
    }
    keys.erase(next);
  };
  app.console.onRead = [&give](int) { give(); };
  app.windows.window.onPump = give;
  std::vector<std::string> words{"/com1", "/nc"};
  for (const std::string& word : run.words)
    words.push_back(word.find('.') == 1 ? folder.path(word) : word);
  EXPECT_EQ(app.run(words), 0) << app.out();
  EXPECT_EQ(songsStarted(app.serial.wire), run.played);
  EXPECT_TRUE(soundingOnWire(app.serial.wire).empty());
  if (!run.window) return;
  // The window's title and each song's line say where in the list the song stands.
  EXPECT_EQ(app.windows.window.titles,
            (std::vector<std::string>{"A.mid < B.mid < C.mid", "B.mid < C.mid",
                                      "A.mid < B.mid < C.mid", "B.mid < C.mid", "C.mid"}));
  std::istringstream out(app.out());
  std::string lines;
  for (std::string line; std::getline(out, line);)
    lines += line[0] == '[' ? line.substr(0, 11) + "|" : "";
  EXPECT_EQ(lines, "[1/3] A.mid|[2/3] B.mid|[1/3] A.mid|[2/3] B.mid|[3/3] C.mid|");
}

const ListRun kRuns[] = {
    {"NextSong", {"A.mid", "B.mid", "C.mid"}, {{1, 'n'}}, "aBC"},
    {"PreviousAtTheFirstSongPlaysItAgain", {"A.mid", "B.mid"}, {{1, 'P'}}, "aAB"},
    {"KeysFromTheWindow", {"A.mid", "B.mid", "C.mid"}, {{2, 'p'}, {3, 'N'}}, "AbaBC", true},
    {"LoopUntilCtrlC", {"--loop", "A.mid", "B.mid"}, {{5, ctrlC}}, "ABABa"},
    {"LoopNextOnTheLastSongPlaysTheFirst",
     {"--loop", "A.mid", "B.mid"},
     {{2, 'n'}, {3, ctrlC}},
     "Aba"},
};

INSTANTIATE_TEST_SUITE_P(Runs, PlayListRun, ::testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessaro::testing
