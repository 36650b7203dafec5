// The status line as the program draws it while a song plays, in virtual time with the player
// on its own thread: on a terminal at the default report level only, with the last key's effect.
#include <gtest/gtest.h>

#include "support/lockstep_app.h"

namespace tessaro::testing {
namespace {

TEST(StatusLine, DrawnOnATerminalAtTheDefaultReportLevelOnly) {
  Track t;  // quarter notes for 29.75 s
  for (int i = 0; i < 60; ++i) t.ev(i == 0 ? 0 : 240, {0x90, 0x40, 0x64}).ev(240, {0x80, 0x40, 0});
  TempFile song(smf(0, 480, {t.end()}));
  struct Row {
    int columns;
    const char* option;
    bool drawn;
  } rows[] = {{100, "/nc", true}, {0, "/nc", false}, {100, "/0", false}, {100, "/2", false}};
  for (const Row& row : rows) {
    LockstepApp app;
    app.environment.columns = row.columns;
    // U about a second into the song, Esc a second later.
    app.console.keys.assign(40, 0);
    app.console.keys.push_back('u');
    app.console.keys.insert(app.console.keys.end(), 40, 0);
    app.console.keys.push_back(27);
    EXPECT_EQ(app.run({"/com1", row.option, song.path()}), 0);
    std::string out = app.out();
    bool first = out.find("\r0:00 / 0:29  bar 1:1  120 bpm  speed 100 %") != std::string::npos;
    bool key = out.find("speed 106 %  vol +0  repeats 0  [speed 106 %]\x1b[K") != std::string::npos;
    // Wiped at the song's end, and never drawn where it does not belong.
    bool wiped = out.find("\x1b[K\r\x1b[K") != std::string::npos;
    EXPECT_EQ(first && key && wiped, row.drawn) << row.columns << row.option << out;
    EXPECT_EQ(out.find('\x1b') == std::string::npos, !row.drawn) << row.columns << row.option;
  }
}

}  // namespace
}  // namespace tessaro::testing
