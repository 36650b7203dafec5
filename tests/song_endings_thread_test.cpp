// However a song ends, no note is left sounding: the notes the player sent are switched off
// and GM System On follows, as the stop sends them. Each way a song can end is one row, played
// as a whole run in virtual time with the player on its own thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "support/lockstep_app.h"

namespace tessaro::testing {
namespace {

const Bytes gmSystemOn{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
constexpr uint8_t heldKey = 0x24;
constexpr uint8_t nextSongKey = 0x50;

// A note held from the start and never ended by the song, under `notes` short notes a quarter
// of a second apart. A malformed song breaks off with a tempo event of the wrong length.
Bytes heldNoteSong(int notes, bool malformed = false) {
  Track t;
  t.ev(0, {0x90, heldKey, 0x50});
  for (int i = 0; i < notes; ++i) {
    uint8_t key = static_cast<uint8_t>(0x30 + i % 24);
    t.ev(i == 0 ? 0 : 120, {0x90, key, 0x64}).ev(120, {0x80, key, 0x00});
  }
  if (malformed) t.ev(0, {0xFF, 0x51, 0x02, 0x07, 0xA1});
  t.end(120);
  return smf(0, 480, {t});
}

Bytes nextSong() {
  Track t;
  t.ev(0, {0x92, nextSongKey, 0x64}).ev(240, {0x82, nextSongKey, 0x00}).end();
  return smf(0, 480, {t});
}

int noteOns(const std::vector<Bytes>& messages, int channel = 0) {
  return static_cast<int>(std::count_if(messages.begin(), messages.end(), [&](const Bytes& m) {
    return m.size() == 3 && m[0] == 0x90 + channel && m[2] > 0;
  }));
}

struct Ending {
  const char* name;
  int notes;  // length of the first song in quarter seconds
  bool malformed;
  std::function<void(LockstepApp&)> arrange;
  bool nextSongPlays;
  int status = 0;  // of the run: 1 when a song could not be played whole
};

// Keys read on the play loop's turns: `key` on the 41st, about a second into the song.
std::function<void(LockstepApp&)> keyAfterASecond(int key) {
  return [key](LockstepApp& a) {
    a.console.keys.assign(40, 0);
    a.console.keys.push_back(key);
  };
}

const Ending kEndings[] = {
    {"SongEndsWithANoteHeld", 8, false, nullptr, true},
    {"MalformedDataMidSong", 8, true, nullptr, true, 1},
    {"EscMidSong", 120, false, keyAfterASecond(27), true},
    {"FadeOutEnds", 200, false, keyAfterASecond('f'), true},
    {"WindowClosedMidSong", 120, false,
     [](LockstepApp& a) {
       a.withWindow = true;
       a.windows.window.onPump = [&a] {
         if (noteOns(messagesOnWire(a.serial.wire)) >= 5) a.windows.window.open = false;
       };
     },
     false},
    {"CtrlCMidSong", 120, false, [](LockstepApp& a) { a.console.interruptAt = 41; }, false},
};

class SongEnding : public ::testing::TestWithParam<Ending> {};

TEST_P(SongEnding, EverySentNoteIsSilencedThenGmSystemOn) {
  const Ending& e = GetParam();
  LockstepApp app;
  if (e.arrange) e.arrange(app);
  TempFile first(heldNoteSong(e.notes, e.malformed)), second(nextSong());
  EXPECT_EQ(app.run({"/so", "/com1", "/nc", first.path(), second.path()}), e.status) << app.out();

  std::vector<Bytes> messages = messagesOnWire(app.serial.wire);
  auto firstNote = std::find(messages.begin(), messages.end(), Bytes{0x90, heldKey, 0x50});
  ASSERT_NE(firstNote, messages.end());
  auto reset = std::find(firstNote, messages.end(), gmSystemOn);
  ASSERT_NE(reset, messages.end()) << "the stop resets the module";
  std::vector<Bytes> firstSong(firstNote, reset);
  // The song left its held note on; the stop ended it, and every other, before the reset.
  EXPECT_NE(std::find(firstSong.begin(), firstSong.end(), Bytes{0x80, heldKey, 0x00}),
            firstSong.end());
  Bytes upToReset;
  for (auto m = messages.begin(); m != reset; ++m)
    upToReset.insert(upToReset.end(), m->begin(), m->end());
  EXPECT_TRUE(soundingOnWire(upToReset).empty());
  if (e.arrange && e.notes > 8) {
    EXPECT_LT(noteOns(firstSong), e.notes / 2) << "the song was cut short";
  }

  EXPECT_EQ(noteOns(messages, 2), e.nextSongPlays ? 1 : 0);
  EXPECT_TRUE(soundingOnWire(app.serial.wire).empty());
  EXPECT_EQ(messages.back(), gmSystemOn) << "the run's own end";
}

INSTANTIATE_TEST_SUITE_P(Endings, SongEnding, ::testing::ValuesIn(kEndings),
                         [](const auto& info) { return std::string(info.param.name); });

// Ctrl+C (or SIGTERM) is Esc on the last song: the song stops at once, no further song is
// started, and the run ends as it normally ends, 1500 ms after the stop with GM System On.
TEST(StopRequest, EndsTheRunLikeEscOnTheLastSong) {
  LockstepApp app;
  app.console.interruptAt = 41;
  TempFile first(heldNoteSong(120)), second(nextSong());
  EXPECT_EQ(app.run({"/so", "/com1", "/nc", first.path(), second.path()}), 0);
  EXPECT_EQ(app.threads.created, 1);
  size_t resets = 0;
  std::vector<uint32_t> resetTimes;
  for (size_t i = 0; i + gmSystemOn.size() <= app.serial.wire.size(); ++i) {
    if (std::equal(gmSystemOn.begin(), gmSystemOn.end(), app.serial.wire.begin() + i)) {
      ++resets;
      resetTimes.push_back(app.serial.times[i]);
    }
  }
  ASSERT_EQ(resets, 2u);
  // The stop's reset, then 200 ms for the module, a turn of the main loop that sees the song's
  // end, and 1500 ms before the run's own.
  EXPECT_GE(resetTimes[1] - resetTimes[0], 200u + 1500u);
  EXPECT_LE(resetTimes[1] - resetTimes[0], 200u + 25u + 1500u);
}

// A request that comes while the program still waits for a first file (in its window) ends it
// at once.
TEST(StopRequest, WhileIdleEndsTheRunAtOnce) {
  LockstepApp app;
  app.withWindow = true;
  app.console.interruptAt = 3;
  EXPECT_EQ(app.run({"/so", "/com1"}), 0);
  EXPECT_EQ(app.threads.created, 0);
  EXPECT_EQ(app.console.reads, 3);
}

}  // namespace
}  // namespace tessaro::testing
