// The whole run with a real player thread and the real clock: the main thread's play loop and
// the player thread share the port and the playback record while a song plays, and Esc from
// the console stops the song from the main thread.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/app_rig.h"
#include "support/smf.h"

namespace tessaro::testing {
namespace {

const Bytes gmSystemOn{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

// The program on the system's clock and threads: the player thread is a real one.
struct RealTimeRun : AppRigOf<SystemClock, SystemThreads> {
  RealTimeRun() { console.keepOpen = true; }
};

// Eighth notes over a note held for the whole song; 8 s at 120 beats a minute.
Bytes heldNoteSong() {
  Track t;
  t.ev(0, {0x90, 0x24, 0x50});
  for (int i = 0; i < 32; ++i) {
    uint8_t key = static_cast<uint8_t>(0x30 + i);
    t.ev(i == 0 ? 0 : 240, {0x90, key, 0x64}).ev(240, {0x80, key, 0x00});
  }
  t.ev(240, {0x80, 0x24, 0x00}).end();
  return smf(0, 480, {t});
}

TEST(ProgramRealTime, EscMidSongStopsItAndLeavesNothingSounding) {
  RealTimeRun run;
  // Esc on the 41st turn of the play loop, about a second into the song.
  run.console.keys.assign(40, 0);
  run.console.keys.push_back(27);
  TempFile song(heldNoteSong());
  EXPECT_EQ(run.run({"/com1", "/nc", song.path()}), 0) << run.log.captured();

  EXPECT_TRUE(run.console.keys.empty()) << "Esc was read";
  std::vector<int> notes = notesPlayed(run.serial);
  ASSERT_FALSE(notes.empty());
  EXPECT_EQ(notes.front(), 0x24);
  EXPECT_LT(notes.size(), 33u) << "the song was cut short";
  // Every note is ended before the module is reset.
  Bytes wire = run.serial.bytes();
  auto reset = std::search(wire.begin(), wire.end(), gmSystemOn.begin(), gmSystemOn.end());
  EXPECT_TRUE(soundingOnWire(Bytes(wire.begin(), reset)).empty());
  EXPECT_TRUE(soundingOnWire(wire).empty());
  ASSERT_GE(run.serial.writes.size(), 2u);
  EXPECT_EQ(run.serial.writes.back().bytes, gmSystemOn);
  EXPECT_EQ(run.serial.writes[run.serial.writes.size() - 2].bytes, gmSystemOn);
}

TEST(ProgramRealTime, SongThatEndsByItselfPlaysWholeAndTheRunEnds) {
  RealTimeRun run;
  Track t;
  t.ev(0, {0x90, 0x3C, 0x64}).ev(240, {0x80, 0x3C, 0x00}).ev(0, {0x90, 0x40, 0x64});
  t.ev(240, {0x80, 0x40, 0x00}).ev(0, {0x90, 0x43, 0x64}).end(240);  // the last note is left on
  TempFile song(smf(0, 480, {t}));
  EXPECT_EQ(run.run({"/com1", "/nc", song.path()}), 0) << run.log.captured();

  EXPECT_EQ(notesPlayed(run.serial), (std::vector<int>{0x3C, 0x40, 0x43}));
  EXPECT_TRUE(soundingOnWire(run.serial.bytes()).empty());
  ASSERT_GE(run.serial.writes.size(), 2u);
  EXPECT_EQ(run.serial.writes.back().bytes, gmSystemOn);
  EXPECT_EQ(run.serial.writes[run.serial.writes.size() - 2].bytes, gmSystemOn);
}

}  // namespace
}  // namespace tessaro::testing
