// The built program's inputs that must never hold it: a song that is a FIFO or a device, played
// or converted, and keys, which come from a terminal only, never from a pipe on standard input.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "support/player_rig.h"
#include "support/program_process.h"
#include "support/smf.h"

namespace tessaro::testing {
namespace {

using namespace std::chrono_literals;

// `notes` notes a quarter of a second apart on channel 1.
Bytes steadySong(int notes) {
  Track t;
  for (int i = 0; i < notes; ++i)
    t.ev(i == 0 ? 0 : 120, {0x90, static_cast<uint8_t>(0x30 + i % 24), 0x64})
        .ev(120, {0x80, static_cast<uint8_t>(0x30 + i % 24), 0x00});
  t.end();
  return smf(0, 480, {t});
}

int noteOns(const Bytes& wire) {
  int n = 0;
  for (const Bytes& m : messagesOnWire(wire)) n += m.size() == 3 && m[0] == 0x90 && m[2] > 0;
  return n;
}

// Songs that are not regular files are named and refused at once, before anything opens them (a
// FIFO without a writer would hold an open for ever, /dev/zero would give zeros without end),
// and the song after them plays. The same holds for a conversion.
TEST(SongInputs, AFifoOrADeviceIsRefusedAtOnce) {
  TempFile good(steadySong(2));
  const std::string fifo = good.dir() + "/pipe.mid";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Row {
    const char* name;
    std::vector<std::string> words;
    std::string problem;  // on the error stream
    int notes;            // notes of the good song that reach the line
  } rows[] = {
      {"a FIFO played", {"/com1", fifo, good.path()}, "tessaro: pipe.mid: is a FIFO", 2},
      {"a device played", {"/com1", "/dev/zero", good.path()}, "tessaro: zero: is a device", 2},
      {"a FIFO converted", {"-o", good.dir() + "/out.mid", fifo}, "is a FIFO", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ProgramProcess run(row.words);
    ASSERT_EQ(run.setupError(), "");
    run.closeInput();
    // A bound only: a program that opens the FIFO waits for a writer for ever.
    EXPECT_EQ(run.finish(30s), 1) << run.out() << run.err();
    EXPECT_NE((run.err() + run.out()).find(row.problem), std::string::npos)
        << run.out() << run.err();
    EXPECT_EQ(noteOns(run.wire()), row.notes);
  }
}

// What is piped to the program is never read as keys (here Esc, which would stop the song):
// the song plays whole, and the bytes are left for whoever reads standard input. With a
// controlling terminal, keys come from it while the pipe is still left alone.
TEST(KeyInputs, APipeIsNeverReadAsKeys) {
  for (bool terminal : {false, true}) {
    SCOPED_TRACE(terminal ? "a controlling terminal" : "no terminal");
    TempFile song(steadySong(terminal ? 240 : 8));
    ProgramProcess run(
        {"/com1", "/nc", song.path()}, "",
        terminal ? ProgramProcess::Keys::controllingTerminal : ProgramProcess::Keys::pipe);
    ASSERT_EQ(run.setupError(), "");
    for (uint8_t key : {uint8_t{27}, uint8_t{'d'}, uint8_t{27}}) run.pressKey(key);
    // Two seconds in, the piped Esc would long have stopped the song.
    ASSERT_TRUE(run.waitForWire([](const Bytes& w) { return noteOns(w) >= 8; }, 30s)) << run.out();
    if (terminal) run.typeOnTerminal(27);
    EXPECT_EQ(run.finish(60s), 0) << run.out();
    int played = noteOns(run.wire());
    if (terminal) {
      EXPECT_LT(played, 240) << "Esc on the terminal stops the minute-long song";
    } else {
      EXPECT_EQ(played, 8);
    }
    EXPECT_TRUE(soundingOnWire(run.wire()).empty());
  }
}

}  // namespace
}  // namespace tessaro::testing
