// The public test songs, every one played untranslated in virtual time: each loads or fails
// with its message, plays to its end without reading past a track, and leaves no note
// sounding after the stop.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/corpus.h"
#include "support/player_rig.h"

namespace tessaro::testing {
namespace {

class CorpusSong : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusSong, PlaysAndLeavesNothingSounding) {
  PlayerRig rig;
  int loaded = loadSong(rig.engine, GetParam().c_str());
  int prepared = preparePlayback(rig.engine);
  EXPECT_EQ(prepared == 0, rig.engine.song.trackCount > 0);
  if (prepared == 0) {
    rig.start = rig.clock.now;
    int result = playerThread(rig.engine);
    EXPECT_TRUE(result == playerDone || result == playerOverrun || result == playerBadMeta ||
                result == playerBadSysEx)
        << "load " << loaded << " play " << result;
  }
  stopPlayback(rig.engine);
  freeSong(rig.engine);
  Bytes wire = rig.serial.bytes();
  EXPECT_TRUE(soundingOnWire(wire).empty());
  for (int c = 0; c < ChannelCount; ++c)
    for (int k = 0; k < 128; ++k) EXPECT_EQ(rig.engine.stage.sounding()[c][k], 0);
  // The stop always ends with GM System On.
  Bytes tail(wire.end() - 6, wire.end());
  EXPECT_EQ(tail, (Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
}

INSTANTIATE_TEST_SUITE_P(JazzSoft, CorpusSong, ::testing::ValuesIn(corpusSongs()),
                         [](const auto& info) { return testNameOf(info.param); });

struct Expected {
  const char* file;
  int load;
  int tracks;
  const char* messages;  // what loading prints
};

TEST(CorpusSongs, LoadResultsOfTheBrokenOnes) {
  const Expected cases[] = {
      {"test-not-a-midi-file.mid", loadNotSmf, 0, ""},
      {"test-empty-file.mid", loadNotSmf, 0, ""},
      {"test-non-midi-track.mid", loadOk, 1, ""},
      {"test-corrupt-file-extra-byte.mid", loadOk, 1, ""},
      {"test-2-tracks-type-2.mid", loadOk, 2, ""},
  };
  for (const Expected& c : cases) {
    PlayerRig rig;
    std::string path = std::string(TESSARO_CORPUS_DIR) + "/jazz-soft/" + c.file;
    EXPECT_EQ(loadSong(rig.engine, path.c_str()), c.load) << c.file;
    EXPECT_EQ(rig.engine.song.trackCount, c.tracks) << c.file;
    EXPECT_EQ(rig.log.captured(), c.messages) << c.file;
  }
}

}  // namespace
}  // namespace tessaro::testing
