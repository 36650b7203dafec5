// The built program when a song is cut off from outside: the module's end of the serial line
// goes away, or the user presses Ctrl+C (or the system asks the program to terminate).
#include <gtest/gtest.h>
#include <signal.h>
#include <termios.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "support/player_rig.h"
#include "support/program_process.h"

namespace tessaro::testing {
namespace {

using namespace std::chrono_literals;

const Bytes gmSystemOn{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

// A minute of notes a quarter of a second apart over a note held from the start.
Bytes minuteSong() {
  Track t;
  t.ev(0, {0x90, 0x24, 0x50});
  for (int i = 0; i < 240; ++i) {
    uint8_t key = static_cast<uint8_t>(0x30 + i % 24);
    t.ev(i == 0 ? 0 : 120, {0x90, key, 0x64}).ev(120, {0x80, key, 0x00});
  }
  t.ev(120, {0x80, 0x24, 0x00}).end();
  return smf(0, 480, {t});
}

Bytes oneNote(uint8_t channel, uint8_t key) {
  Track t;
  t.ev(0, {static_cast<uint8_t>(0x90 + channel), key, 0x64});
  t.ev(240, {static_cast<uint8_t>(0x80 + channel), key, 0x00}).end();
  return smf(0, 480, {t});
}

bool contains(const Bytes& wire, const Bytes& part) {
  return std::search(wire.begin(), wire.end(), part.begin(), part.end()) != wire.end();
}

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// A few notes in, the module's end of COM1 is closed: the program says so once, in plain
// words, stops the song, skips the rest of the list and ends by itself with status 1.
TEST(SerialLineGoneMidSong, IsReportedOnceAndTheProgramEnds) {
  TempFile first(minuteSong()), second(oneNote(2, 0x50));
  ProgramProcess run({"/com1", "/nc", first.path(), second.path()});
  ASSERT_EQ(run.setupError(), "");
  ASSERT_TRUE(run.waitForWire(
      [](const Bytes& w) {
        return contains(w, {0x90, 0x32, 0x64});
      },
      30s))
      << run.out();
  run.closeWire();
  EXPECT_EQ(run.finish(), 1) << run.out();
  EXPECT_LT(run.seconds(), 30.0) << "the song is a minute long";

  std::string out = run.out();
  EXPECT_EQ(count(out, "Error Sending"), 1u) << out;
  EXPECT_EQ(run.err(), "tessaro: COM1: takes no more data (" + run.ptyPath() +
                           ": Input/output error): playback stops\n");
}

struct StopSignal {
  const char* name;
  int signal;
  ProgramProcess::Keys keys;
};

class StopSignalMidSong : public ::testing::TestWithParam<StopSignal> {};

// Ctrl+C on the program's terminal, or SIGTERM whatever its input: the song stops as after Esc
// on the last song. Every note sent is switched off, GM System On follows, no further song
// starts, the terminal is as it was, and the program then ends by the signal (a shell sees
// 130 or 143 and stops a loop around it).
TEST_P(StopSignalMidSong, SilencesEveryNoteAndEndsByTheSignal) {
  const StopSignal& s = GetParam();
  TempFile first(minuteSong()), second(oneNote(2, 0x50));
  ProgramProcess run({"/com1", "/nc", first.path(), second.path()}, "", s.keys);
  ASSERT_EQ(run.setupError(), "");
  const bool terminal = s.keys == ProgramProcess::Keys::terminal;
  ASSERT_TRUE(run.waitForWire(
      [](const Bytes& w) {
        return contains(w, {0x90, 0x32, 0x64});
      },
      30s))
      << run.out();
  run.sendSignal(s.signal);
  EXPECT_EQ(run.finish(), -1) << run.out();
  EXPECT_EQ(run.endedBySignal(), s.signal);
  EXPECT_LT(run.seconds(), 30.0) << "the song is a minute long";

  Bytes wire = run.wire();
  auto reset = std::search(wire.begin(), wire.end(), gmSystemOn.begin(), gmSystemOn.end());
  ASSERT_NE(reset, wire.end());
  Bytes beforeReset(wire.begin(), reset);
  EXPECT_TRUE(soundingOnWire(beforeReset).empty());
  EXPECT_TRUE(soundingOnWire(wire).empty());
  EXPECT_FALSE(contains(wire, {0x92, 0x50, 0x64})) << "no further song";
  ASSERT_GE(wire.size(), gmSystemOn.size());
  EXPECT_EQ(Bytes(wire.end() - 6, wire.end()), gmSystemOn);

  if (terminal) {
    // Line input with echo and CR translation, as a new terminal has it.
    termios after{};
    ASSERT_TRUE(run.keyTerminalMode(after));
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO), static_cast<tcflag_t>(ICANON | ECHO));
    EXPECT_NE(after.c_iflag & ICRNL, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Signals, StopSignalMidSong,
    ::testing::Values(StopSignal{"CtrlCOnTheTerminal", SIGINT, ProgramProcess::Keys::terminal},
                      StopSignal{"TerminateWithPipedKeys", SIGTERM, ProgramProcess::Keys::pipe}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessaro::testing
