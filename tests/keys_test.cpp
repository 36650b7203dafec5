// The keys a user presses while the program waits for a file and while a song plays: what
// each one changes, what reaches the sound module, and what is left alone.
#include "app/keys.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <vector>

#include "app/program.h"
#include "support/player_rig.h"
#include "support/system_platform.h"

// The key tables name only the values a row changes; the others keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace tessaro::testing {
namespace {

const Bytes gmSystemOn{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

// A program in virtual time with its port open on a serial line (COM1), and a window whose
// repaints and file dialogs are counted.
struct KeyRig {
  VirtualClock clock;
  SyncThreads threads;
  FakePriorities priorities;
  ScriptedConsole console;
  CaptureSerialPorts serial{clock};
  CaptureMidiOutputs midi{clock};
  SystemFileSystem files;
  FakeEnvironment environment;
  Log log;
  platform::Services services{&clock,  &threads, &priorities, &console,
                              &serial, &midi,    &files,      &environment};
  App app{services, log};
  int paints = 0;
  int dialogs = 0;

  // Without the port open the rig is ready for a whole run.
  explicit KeyRig(bool window = true, bool openPort = true) {
    log.startCapture();
    if (openPort) openMidiPort(app.port, 1, platform::MidiOutputs::mapper);
    serial.writes.clear();
    log.clearCaptured();
    if (window) {
      app.paintStatusHook = [this] { ++paints; };
      app.fileDialogHook = [this] {
        ++dialogs;
        return false;
      };
    }
  }
};

// What the keys change.
struct State {
  int dispLevel = 0;
  int32_t volumeAdd = 0;
  int32_t volumeOffset = 0;
  int32_t repeatCount = 0;
  bool repeatSetByUser = false;
  bool fading = false;
  int32_t speed = 1000;
  uint32_t clockShift = 0;  // how far the play clock was held back
  Bytes sent;
  int paints = 0;
  int dialogs = 0;
  bool operator==(const State&) const = default;
};

std::ostream& operator<<(std::ostream& out, const State& s) {
  out << "disp " << s.dispLevel << " volume " << s.volumeAdd << "/" << s.volumeOffset << " repeat "
      << s.repeatCount << (s.repeatSetByUser ? " (user)" : "") << " fading " << s.fading
      << " speed " << s.speed << " shift " << s.clockShift << " paints " << s.paints << " dialogs "
      << s.dialogs << " sent";
  for (uint8_t b : s.sent) out << " " << int(b);
  return out;
}

// Sets the rig to a state (only the values keys change), so a row can start anywhere.
void setState(KeyRig& rig, const State& s) {
  PlayerState& p = rig.app.engine.state;
  rig.app.options.DispLevel = s.dispLevel;
  rig.app.options.volumeAdd = s.volumeAdd;
  setUserVolume(rig.app.engine, s.volumeAdd);
  p.repeatCount = s.repeatCount;
  p.repeatSetByUser = s.repeatSetByUser ? 255 : 0;
  p.speedDivisor = s.speed;
  p.timeOrigin = 0;
}

State stateOf(const KeyRig& rig) {
  const PlayerState& p = rig.app.engine.state;
  return State{rig.app.options.DispLevel,
               rig.app.options.volumeAdd,
               p.volumeOffset,
               p.repeatCount,
               p.repeatSetByUser != 0,
               p.fadeActive != 0,
               p.speedDivisor,
               p.timeOrigin,
               rig.serial.bytes(),
               rig.paints,
               rig.dialogs};
}

struct KeyRow {
  std::vector<int> keys;
  State before;
  State after;
};

// Rows that act alike in both loops.
std::vector<KeyRow> commonRows() {
  Bytes twice = gmSystemOn;
  twice.insert(twice.end(), gmSystemOn.begin(), gmSystemOn.end());
  return {
      {{'5'}, {}, {.dispLevel = 5}},
      {{'0'}, {.dispLevel = 7}, {}},
      {{','}, {}, {.volumeAdd = -12, .volumeOffset = -12}},
      {{'<', '<'}, {}, {.volumeAdd = -24, .volumeOffset = -24}},
      {{'.'}, {}, {.volumeAdd = 12, .volumeOffset = 12}},
      {{'>', ','}, {}, {}},
      // The keys do not limit the value; the offset that reaches the channels is limited.
      {{'.'}, {.volumeAdd = 250, .volumeOffset = 250}, {.volumeAdd = 262, .volumeOffset = 255}},
      {{','}, {.volumeAdd = -250, .volumeOffset = -250}, {.volumeAdd = -262, .volumeOffset = -256}},
      {{'G'}, {}, {.clockShift = 50, .sent = gmSystemOn}},
      {{'g', 'g'}, {}, {.clockShift = 100, .sent = twice}},
      {{'-'}, {.repeatCount = 3}, {.repeatCount = 2, .repeatSetByUser = true}},
      {{'-'}, {}, {.repeatSetByUser = true}},
      {{'_', '_'}, {.repeatCount = 1}, {.repeatSetByUser = true}},
      {{';'}, {.repeatCount = 3}, {.repeatCount = 4, .repeatSetByUser = true}},
      {{'+'}, {.repeatCount = -4}, {.repeatSetByUser = true}},
      // Codes of window navigation keys, console characters above 127 and unlisted letters.
      {{0x100, 0x147, 0x135, 0x11B, -27, -100, 'x', 'Q', ' '}, {}, {}},
  };
}

void checkRows(const std::vector<KeyRow>& rows, bool playing) {
  for (const KeyRow& row : rows) {
    KeyRig rig;
    setState(rig, row.before);
    for (int key : row.keys) {
      if (playing) {
        applyPlayKey(rig.app, key);
      } else {
        EXPECT_EQ(applyIdleKey(rig.app, key), IdleAction::none) << key;
      }
    }
    std::string keys;
    for (int key : row.keys) keys += std::to_string(key) + " ";
    EXPECT_EQ(stateOf(rig), row.after) << (playing ? "playing: " : "idle: ") << keys;
    EXPECT_EQ(rig.log.captured(), "") << keys;
  }
}

TEST(IdleKeys, EachKeyChangesItsValue) {
  std::vector<KeyRow> rows = commonRows();
  // Fade and speed belong to a playing song.
  rows.push_back({{'F', 'f', 'U', 'u', 'D', 'd'}, {}, {}});
  rows.push_back({{'S'}, {.speed = 1062}, {.speed = 1062}});
  rows.push_back({{'O'}, {}, {.dialogs = 1}});
  rows.push_back({{'o'}, {}, {.dialogs = 1}});
  checkRows(rows, false);
}

TEST(PlayKeys, EachKeyChangesItsValue) {
  std::vector<KeyRow> rows = commonRows();
  rows.push_back({{'F'}, {}, {.fading = true, .paints = 1}});
  rows.push_back({{'f'}, {}, {.fading = true, .paints = 1}});
  rows.push_back({{'O'}, {}, {.dialogs = 1}});
  checkRows(rows, true);
}

TEST(PlayKeys, SpeedStepsUpAndDown) {
  struct Row {
    int32_t from;
    std::string keys;
    std::vector<int32_t> steps;
  } rows[] = {
      {1000, "UUUU", {1062, 1128, 1198, 1272}},
      {1272, "S", {1000}},
      {1000, "DD", {941, 886}},
      {941, "U", {999}},
      {1062, "D", {1000}},
      {1000, "uSds", {1062, 1000, 941, 1000}},
      {1, "DU", {1, 1}},
      {INT32_MAX, "U", {INT32_MAX}},
      {2100000000, "U", {INT32_MAX}},
      {INT32_MAX, "D", {2021161080}},
  };
  for (const Row& row : rows) {
    KeyRig rig;
    rig.app.engine.state.speedDivisor = row.from;
    std::vector<int32_t> steps;
    for (char key : row.keys) {
      applyPlayKey(rig.app, key);
      steps.push_back(rig.app.engine.state.speedDivisor);
    }
    EXPECT_EQ(steps, row.steps) << row.from << " " << row.keys;
    EXPECT_EQ(rig.paints, static_cast<int>(row.keys.size()));
  }
}

TEST(IdleKeys, EscEndsTheWait) {
  KeyRig rig;
  EXPECT_EQ(applyIdleKey(rig.app, KeyEscape), IdleAction::quit);
  EXPECT_TRUE(rig.serial.writes.empty());
}

TEST(PlayKeys, EscStopsTheSongAndResetsTheModule) {
  KeyRig rig;
  PlayerState& s = rig.app.engine.state;
  s.threadStatus = 1;
  s.playRequest = 1;
  s.soundingNotes[2][64] = 1;
  applyPlayKey(rig.app, KeyEscape);
  EXPECT_EQ(s.threadStatus, 0);
  EXPECT_EQ(s.playRequest, 0);
  Bytes expected{0x82, 64, 0};
  expected.insert(expected.end(), gmSystemOn.begin(), gmSystemOn.end());
  EXPECT_EQ(rig.serial.bytes(), expected);
}

TEST(Keys, FileDialogOnlyWithAWindowAndRoomInTheList) {
  struct Row {
    bool window;
    bool playing;
    int entries;
    int dialogs;
  } rows[] = {
      {false, false, 0, 0},
      {false, true, 1, 0},
      {true, true, 99, 1},
      {true, true, 100, 0},
  };
  for (const Row& row : rows) {
    KeyRig rig(row.window);
    for (int i = 0; i < row.entries; ++i) appendEntry(rig.app.cue, "s.mid");
    if (row.playing) {
      applyPlayKey(rig.app, 'O');
    } else {
      EXPECT_EQ(applyIdleKey(rig.app, 'o'), IdleAction::none);
    }
    EXPECT_EQ(rig.dialogs, row.dialogs) << row.window << row.playing << row.entries;
    EXPECT_EQ(rig.app.cue.length, row.entries);
    EXPECT_EQ(rig.log.captured(), "");
  }
}

TEST(IdleKeys, DigitThenEscEndTheRunWithoutReset) {
  KeyRig rig(true, false);
  rig.console.keys = {0, '5', 0, KeyEscape};
  rig.console.keepOpen = true;
  EXPECT_EQ(runProgram(rig.app, {"/opt/tessaro/tessaro", "/com1"}), 0);
  EXPECT_EQ(rig.app.options.DispLevel, 5);
  for (const Captured& w : rig.serial.writes) EXPECT_NE(w.bytes, gmSystemOn);
}

}  // namespace
}  // namespace tessaro::testing
