// Keys typed on a terminal while the built program plays in console mode.
#include <gtest/gtest.h>

#include "support/player_rig.h"
#include "support/program_process.h"

namespace tessaro::testing {
namespace {

using namespace std::chrono_literals;

const Bytes gmSystemOn{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

// A song of one note every 200 ms on channel 1, `seconds` long.
Bytes steadySong(int seconds, uint8_t key) {
  Track t;
  for (int i = 0; i < seconds * 5; ++i)
    t.ev(i == 0 ? 0 : 96, {0x90, key, 0x40}).ev(96, {0x80, key, 0});
  t.end();
  return smf(0, 480, {t});
}

bool contains(const Bytes& wire, const Bytes& part) {
  return std::search(wire.begin(), wire.end(), part.begin(), part.end()) != wire.end();
}

size_t count(const Bytes& wire, const Bytes& part) {
  size_t n = 0;
  for (auto it = wire.begin();
       (it = std::search(it, wire.end(), part.begin(), part.end())) != wire.end(); ++it)
    ++n;
  return n;
}

TEST(KeysOnATerminal, EscStopsTheFirstSongAndTheSecondPlays) {
  TempFile first(steadySong(60, 60)), second(steadySong(1, 72));
  ProgramProcess run({"/so", "/com1", "/nc", first.path(), second.path()}, "",
                     ProgramProcess::Keys::terminal);
  ASSERT_EQ(run.setupError(), "");
  ASSERT_TRUE(run.waitForWire([](const Bytes& w) { return contains(w, {0x90, 60, 0x40}); }, 30s));
  run.pressKey(27);
  EXPECT_EQ(run.finish(), 0);
  Bytes wire = run.wire();
  EXPECT_TRUE(contains(wire, {0x90, 72, 0x40}));
  EXPECT_LT(count(wire, {0x90, 60, 0x40}), 300u);
  EXPECT_TRUE(soundingOnWire(wire).empty());
  EXPECT_NE(run.out().find("Console mode: ON.\n"), std::string::npos);
  EXPECT_LT(run.seconds(), 40.0);
}

TEST(KeysOnATerminal, FFadesTheSongOutAndItEndsWithGmSystemOn) {
  TempFile song(steadySong(60, 60));
  ProgramProcess run({"/so", "/com1", "/nc", song.path()}, "", ProgramProcess::Keys::terminal);
  ASSERT_EQ(run.setupError(), "");
  ASSERT_TRUE(run.waitForWire([](const Bytes& w) { return contains(w, {0x90, 60, 0x40}); }, 30s));
  run.pressKey('f');
  EXPECT_EQ(run.finish(), 0);
  Bytes wire = run.wire();
  // The volume of channel 16 steps down 3 at a time from 100 until nothing is audible.
  for (uint8_t volume : {97, 94, 61, 1}) EXPECT_TRUE(contains(wire, {0x07, volume})) << int(volume);
  EXPECT_TRUE(soundingOnWire(wire).empty());
  Bytes tail(wire.end() - 6, wire.end());
  EXPECT_EQ(tail, gmSystemOn);
  EXPECT_LT(run.seconds(), 40.0);
}

// A note a quarter (100 ms at 150 beats a minute), each with a key of its own: key 30 first.
Bytes countingSong(int notes) {
  Track t;
  t.tempo(0, 400000);
  for (int i = 0; i < notes; ++i) {
    uint8_t key = static_cast<uint8_t>(30 + i % 90);
    t.ev(i == 0 ? 0 : 240, {0x90, key, 0x40}).ev(240, {0x80, key, 0});
  }
  t.end();
  return smf(0, 480, {t});
}

// Note-ons of key on the wire, running status written out.
size_t noteOnsOf(const Bytes& wire, int key) {
  size_t n = 0;
  for (const Bytes& m : messagesOnWire(wire)) n += m.size() == 3 && m[0] == 0x90 && m[1] == key;
  return n;
}

size_t noteOns(const Bytes& wire) {
  size_t n = 0;
  for (const Bytes& m : messagesOnWire(wire)) n += m.size() == 3 && m[0] == 0x90 && m[2] > 0;
  return n;
}

// Space pauses the song and goes on; Home goes back to its start; q ends the run.
TEST(KeysOnATerminal, SpacePausesHomeSeeksAndQEndsTheRun) {
  TempFile song(countingSong(600)), next(steadySong(1, 125));
  ProgramProcess run({"/so", "/com1", "/nc", song.path(), next.path()}, "",
                     ProgramProcess::Keys::terminal);
  ASSERT_EQ(run.setupError(), "");
  ASSERT_TRUE(run.waitForWire([](const Bytes& w) { return noteOnsOf(w, 40) > 0; }, 30s));
  run.pressKey(' ');
  std::this_thread::sleep_for(300ms);
  const size_t atPause = noteOns(run.wire());
  std::this_thread::sleep_for(700ms);
  EXPECT_EQ(noteOns(run.wire()), atPause) << "nothing sounds while paused";
  run.pressKey(' ');
  ASSERT_TRUE(run.waitForWire([&](const Bytes& w) { return noteOns(w) > atPause + 4; }, 30s));
  for (uint8_t b : {uint8_t{0x1B}, uint8_t{'['}, uint8_t{'H'}}) run.pressKey(b);  // Home
  EXPECT_TRUE(run.waitForWire([](const Bytes& w) { return noteOnsOf(w, 30) == 2; }, 30s))
      << "the song's first note plays again";
  run.pressKey('q');
  EXPECT_EQ(run.finish(), 0);
  Bytes wire = run.wire();
  EXPECT_EQ(noteOnsOf(wire, 125), 0u) << "q plays no further song";
  EXPECT_TRUE(soundingOnWire(wire).empty());
  EXPECT_EQ(Bytes(wire.end() - 6, wire.end()), gmSystemOn);
}

}  // namespace
}  // namespace tessaro::testing
