// The status line as the program draws it while a song plays, in virtual time with the player
// on its own thread: on a terminal at the default report level only, with the last key's effect.
#include <gtest/gtest.h>

#include "support/lockstep_app.h"

namespace tessaro::testing {
namespace {

// Quarter notes for 29.75 s.
Bytes longSong() {
  Track t;
  for (int i = 0; i < 60; ++i) t.ev(i == 0 ? 0 : 240, {0x90, 0x40, 0x64}).ev(240, {0x80, 0x40, 0});
  t.end();
  return smf(0, 480, {t});
}

TEST(StatusLine, DrawnOnATerminalAtTheDefaultReportLevelOnly) {
  struct Row {
    const char* name;
    int columns;
    std::vector<std::string> options;
    bool drawn;
  } rows[] = {
      {"a terminal", 100, {}, true},
      {"a pipe", 0, {}, false},
      {"turned off", 100, {"/0"}, false},
      {"more reported", 100, {"/2"}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    LockstepApp app;
    app.environment.columns = row.columns;
    // U about a second into the song, Esc a second later.
    app.console.keys.assign(40, 0);
    app.console.keys.push_back('u');
    app.console.keys.insert(app.console.keys.end(), 40, 0);
    app.console.keys.push_back(27);
    TempFile song(longSong());
    std::vector<std::string> words{"/com1", "/nc"};
    words.insert(words.end(), row.options.begin(), row.options.end());
    words.push_back(song.path());
    EXPECT_EQ(app.run(words), 0);
    std::string out = app.out();
    EXPECT_EQ(out.find("\r0:00 / 0:29  bar 1:1  120 bpm") != std::string::npos, row.drawn) << out;
    EXPECT_EQ(out.find("speed 106 %  vol +0  repeats 0  [speed 106 %]\x1b[K") != std::string::npos,
              row.drawn);
    // The line is wiped before anything else is written, and at the song's end.
    EXPECT_EQ(out.find("\x1b[K\r\x1b[K") != std::string::npos, row.drawn);
    EXPECT_EQ(out.find("\x1b[K") == std::string::npos, !row.drawn);
  }
}

}  // namespace
}  // namespace tessaro::testing
