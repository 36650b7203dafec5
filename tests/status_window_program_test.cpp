// Whole runs in virtual time with a (fake) status window: its start-up, the console it
// releases, keys from both sources, files dropped or chosen while idle, lit note cells and the
// end of the run when the user closes it.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/lockstep_app.h"
#include "support/window_app.h"

namespace tessaro::testing {
namespace {

const Bytes gmSystemOn{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

Bytes song(uint8_t key, bool withNoteOff = true) {
  Track t;
  t.ev(0, {0x90, key, 0x40});
  if (withNoteOff) t.ev(480, {0x80, key, 0x00});
  t.ev(960, {0xB0, 0x07, 0x64}).end();
  return smf(0, 480, {t});
}

int gmResets(const CaptureSerialPorts& serial) {
  int count = 0;
  for (const auto& w : serial.writes) count += w.bytes == gmSystemOn;
  return count;
}

TEST(StatusWindowRun, OpensPaintedWithItsTitleAndTakesOverTheConsole) {
  struct Case {
    std::vector<std::string> options;
    bool noDisplay;
    bool released;
  } cases[] = {
      {{}, false, true},        // the window gives the keys from now on
      {{"/so"}, false, false},  // console mode keeps the console
      {{}, true, false},        // no display: console-only, as without a window
  };
  for (const Case& c : cases) {
    WindowApp w;
    w.windows.noDisplay = c.noDisplay;
    TempFile a(song(60));
    std::vector<std::string> words{"/com1"};
    words.insert(words.end(), c.options.begin(), c.options.end());
    words.push_back(a.path());
    EXPECT_EQ(w.run(words), 0);
    EXPECT_EQ(w.windows.createdTitle, "Tessaro,GM : ready ");
    EXPECT_EQ(w.console.released, c.released);
    EXPECT_EQ(notesPlayed(w.serial), std::vector<int>{60});
    if (!c.noDisplay) {
      EXPECT_EQ(w.port().topmostReleases, 1);
      EXPECT_EQ(w.port().destroyed, 1);
      ASSERT_GE(w.port().shown.size(), 2u);
      EXPECT_EQ(w.port().shown[1], (std::pair<int, int>{0, 48}));  // the idle grid
      EXPECT_EQ(w.port().titles.front(), "song.mid");
    }
  }
}

TEST(StatusWindowRun, ClosingTheWindowDuringPlayEndsTheRunAfterThatSong) {
  WindowApp w;
  TempFile a(song(60, false)), b(song(62)), c(song(64));
  w.port().onPump = [&] {
    if (!notesPlayed(w.serial).empty()) w.port().open = false;
  };
  EXPECT_EQ(w.run({"/com1", a.path(), b.path(), c.path()}), 0);
  EXPECT_EQ(notesPlayed(w.serial), std::vector<int>{60});
  EXPECT_EQ(w.serial.writes.back().bytes, gmSystemOn);  // the run's normal end
}

TEST(StatusWindowRun, ClosingTheWindowWhileIdleEndsAtOnce) {
  WindowApp w;
  w.port().onPump = [&] { w.port().open = false; };
  EXPECT_EQ(w.run({"/com1"}), 0);
  EXPECT_EQ(gmResets(w.serial), 0);
}

TEST(StatusWindowRun, AFileDroppedWhileIdlePlays) {
  WindowApp w;
  TempFile a(song(67));
  int pumps = 0;
  w.port().onPump = [&] {
    if (++pumps == 3) w.windows.events->dropped({a.path()});
  };
  EXPECT_EQ(w.run({"/com1"}), 0);
  EXPECT_EQ(notesPlayed(w.serial), std::vector<int>{67});
}

TEST(StatusWindowRun, TheFileChooserAddsOrReportsItsFailure) {
  WindowApp w;
  TempFile a(song(65));
  w.port().choice = {platform::FileChoice::Result::cancelled, "", ""};
  int pumps = 0;
  w.port().onPump = [&] {
    ++pumps;
    if (pumps == 2 || pumps == 4) w.windows.events->key('o');
    if (pumps == 3) w.port().choice = {platform::FileChoice::Result::chosen, a.path(), ""};
  };
  EXPECT_EQ(w.run({"/com1"}), 0);
  EXPECT_EQ(w.port().chooserOpened, 2);
  EXPECT_EQ(w.port().chooserDirectory, "");  // no song yet: where the window system likes
  EXPECT_NE(w.out().find("\nFailed Opening File-Open Dialog Box.\n"), std::string::npos);
  EXPECT_EQ(notesPlayed(w.serial), std::vector<int>{65});
}

// The window answers the whole run, between songs too: it is never left unpumped for longer than
// the stop's settling time and a turn of the main loop.
// (The player runs on a thread of its own, taking turns with the main thread in virtual time.)
TEST(StatusWindowRun, TheWindowIsPumpedThroughTheWaitsBetweenSongs) {
  LockstepApp run;
  run.withWindow = true;
  TempFile a(song(60)), b(song(62));
  std::vector<uint32_t> pumps;
  run.windows.window.onPump = [&] { pumps.push_back(run.clock.now()); };
  EXPECT_EQ(run.run({"/com1", a.path(), b.path()}), 0);
  ASSERT_GE(pumps.size(), 2u);
  uint32_t longest = 0;
  for (size_t i = 1; i < pumps.size(); ++i) longest = std::max(longest, pumps[i] - pumps[i - 1]);
  EXPECT_LE(longest, 100u);
}

// While a song plays, the chooser opens in the song's directory.
TEST(StatusWindowRun, TheFileChooserOpensWhereTheSongPlayingLies) {
  WindowApp w;
  TempFile a(song(65));
  w.port().choice = {platform::FileChoice::Result::cancelled, "", ""};
  w.port().onPump = [&] {
    if (w.port().chooserOpened == 0 && !notesPlayed(w.serial).empty()) w.windows.events->key('o');
  };
  EXPECT_EQ(w.run({"/com1", a.path()}), 0);
  EXPECT_EQ(w.port().chooserOpened, 1);
  EXPECT_EQ(w.port().chooserDirectory, a.dir() + "/");
}

TEST(StatusWindowRun, AWindowKeyReplacesAConsoleKeyOfTheSameTurn) {
  for (bool windowKey : {true, false}) {
    WindowApp w;
    w.console.keys = {0, 0, 0, '5'};  // the first goes with the flush at the window's start
    w.console.keepOpen = true;
    int pumps = 0;
    w.port().onPump = [&] {
      ++pumps;
      if (windowKey && pumps == 3) w.windows.events->key(27);  // Escape ends the idle wait
      if (pumps == 10) w.port().open = false;
    };
    EXPECT_EQ(w.run({"/com1", "/so"}), 0);
    EXPECT_EQ(w.app.options.DispLevel, windowKey ? 0 : 5);
    EXPECT_EQ(pumps, windowKey ? 3 : 10);
  }
}

TEST(StatusWindowRun, NoteCellsLightAndAFullRepaintShowsTheIdleGrid) {
  WindowApp w;
  TempFile a(song(61, false));
  bool sawLit = false, sawCleared = false;
  w.port().onPump = [&] {
    if (w.windows.content == nullptr || notesPlayed(w.serial).empty()) return;
    bool lit = false;
    w.windows.content->forEachLitCell([&](int x, int y, int, int, platform::Rgb colour) {
      lit = lit || (x == 184 && y == 1 && colour == platform::Rgb{255, 120, 130});
    });
    if (lit) sawLit = true;
    if (sawLit && !lit) sawCleared = true;
    if (lit) {
      w.app.status->showAllAfresh();
      w.app.status->refresh();
    }
  };
  EXPECT_EQ(w.run({"/com1", a.path()}), 0);
  EXPECT_TRUE(sawLit);
  EXPECT_TRUE(sawCleared);
  EXPECT_NE(std::find(w.port().shown.begin(), w.port().shown.end(), std::pair<int, int>{0, 81}),
            w.port().shown.end());
}

}  // namespace
}  // namespace tessaro::testing
