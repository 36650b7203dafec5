// The keys a user presses while the program waits for a file and while a song plays: which
// command each one gives in each loop, and which keys are left alone. What the commands do is
// tested with the commands.
#include "app/keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/app_rig.h"
#include "support/recording_commands.h"
#include "support/smf.h"

namespace tessaro::testing {
namespace {

const Bytes gmSystemOn{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

struct KeyRow {
  std::vector<int> keys;
  std::string idle;  // the commands while the play list is empty
  std::string play;  // and while a song plays
};

TEST(Keys, EachKeyGivesItsCommandInEachLoop) {
  const KeyRow rows[] = {
      {{'5'}, "report 5", "report 5"},
      {{'0', '9'}, "report 0; report 9", "report 0; report 9"},
      {{',', '<'}, "volume step -12; volume step -12", "volume step -12; volume step -12"},
      {{'.', '>'}, "volume step 12; volume step 12", "volume step 12; volume step 12"},
      {{'G', 'g'}, "reset module; reset module", "reset module; reset module"},
      {{'-', '_'}, "repeats step -1; repeats step -1", "repeats step -1; repeats step -1"},
      {{';', '+'}, "repeats step 1; repeats step 1", "repeats step 1; repeats step 1"},
      {{'O', 'o'}, "open file; open file", "open file; open file"},
      // Fade and speed belong to a playing song.
      {{'F', 'f'}, "", "fade out; fade out"},
      {{'U', 'u'}, "", "faster; faster"},
      {{'S', 's'}, "", "normal speed; normal speed"},
      {{'D', 'd'}, "", "slower; slower"},
      {{KeyEscape}, "", "stop song"},
      {{'N', 'n'}, "", "next song; next song"},
      {{'P', 'p'}, "", "previous song; previous song"},
      {{'q', 'Q'}, "", "quit; quit"},
      // Pause and seek: Space, the arrows, the page keys and Home, as the window and the
      // terminal give them.
      {{' '}, "", "pause"},
      {{KeyRight, KeyLeft}, "", "seek 1; seek -1"},
      {{KeyPageDown, KeyPageUp}, "", "seek 8; seek -8"},
      {{KeyHome}, "", "seek start"},
      // Other navigation keys (Shift or Ctrl with an arrow among them), console characters above
      // 127 and unlisted letters.
      {{0x100, 0x147, 0x135, 0x11B, 0x227, 0x325, 0x123, -27, -100, 'x', 0}, "", ""},
  };
  for (const KeyRow& row : rows) {
    std::string keys;
    for (int key : row.keys) keys += std::to_string(key) + " ";
    RecordingCommands idle, play;
    for (int key : row.keys) {
      bool quits = key == KeyEscape || key == 'q' || key == 'Q';
      EXPECT_EQ(applyIdleKey(idle, key), quits ? IdleAction::quit : IdleAction::none) << key;
      applyPlayKey(play, key);
    }
    EXPECT_EQ(idle.text(), row.idle) << "idle: " << keys;
    EXPECT_EQ(play.text(), row.play) << "playing: " << keys;
  }
}

TEST(Keys, DigitThenEscEndTheRunWithoutReset) {
  AppRig rig(/*window=*/true);
  rig.console.keys = {0, '5', 0, KeyEscape};
  rig.console.keepOpen = true;
  EXPECT_EQ(rig.run({"/so", "/com1"}), 0);
  EXPECT_EQ(rig.program().options.DispLevel, 5);
  for (const Captured& w : rig.serial.writes) EXPECT_NE(w.bytes, gmSystemOn);
}

}  // namespace
}  // namespace tessaro::testing
