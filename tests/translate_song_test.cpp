// Whole songs played in virtual time with translation to XG, to GM and without: the stream a
// module hears from the song's bytes, the reset's hold-back, and the public test songs.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/translate_rig.h"

namespace tessaro::testing {
namespace {

using Events = std::vector<std::pair<uint32_t, std::string>>;

// A format-0 song from (delta, messages) written as hex; the messages after the first of a
// string follow at delta 0, and system exclusives get their length after F0.
Bytes song(const Events& events) {
  Track t;
  for (const auto& [delta, text] : events) {
    uint32_t d = delta;
    for (const Bytes& m : messagesOf(hex(text))) {
      Bytes event = m;
      if (m[0] == 0xF0) {
        event = vlq(static_cast<uint32_t>(m.size() - 1));
        event.insert(event.begin(), 0xF0);
        event.insert(event.end(), m.begin() + 1, m.end());
      }
      t.raw(d, event);
      d = 0;
    }
  }
  return smf(0, 480, {t.end()});
}

// Plays the song; what the module heard after the start's channel volumes.
std::string play(PlayerRig& rig, To target, const Bytes& file, int result = playerDone) {
  rig.load(file);
  int prepared = preparePlayback(rig.engine);
  setTarget(rig.options, target);
  EXPECT_EQ(rig.playPrepared(prepared), result);
  std::vector<Captured> writes;
  for (const auto& [time, bytes] : rig.sent()) writes.push_back({time, bytes});
  return heardOn(writes);
}

// Controller 7 on every channel: the volumes resent after a change of the volume offset.
std::string volumes(const std::string& normal, const std::string& channel10) {
  std::string out;
  for (int c = 0; c < 16; ++c)
    out += hexOf({static_cast<uint8_t>(0xB0 + c), 7}) + " " + (c == 9 ? channel10 : normal) + " ";
  return out;
}

// Reset, part 2 a drum part, part 3 panned, master volume 100; a GS variation on channel 1,
// drum kits on channels 10 and 2; drum and piano notes.
const Events gsSong = {
    {0, "F0 41 10 42 12 40 00 7F 00 41 F7 F0 41 10 42 12 40 12 15 02 17 F7"},
    {0, "F0 41 10 42 12 40 13 1C 20 0F F7 F0 41 10 42 12 40 00 04 64 58 F7"},
    {0, "B0 00 08 C0 04 B0 07 64 B0 5B 28 C9 19 B9 07 64 C1 1E"},
    {480, "99 28 64 91 18 64 90 3C 64"},
    {480, "89 28 00 81 18 00 80 3C 00"},
};

TEST(TranslatedSong, GsSongToXgToGmAndUntranslated) {
  const std::string kit = "B9 63 1C B9 62 53 B9 06 58 B9 64 7F B9 65 7F ";
  struct Case {
    To target;
    std::string heard;
  } cases[] = {
      {To::xg, xgSetup(0) + " B1 00 7F B1 20 00 C1 00" +
                   " B2 0A 20 B0 00 08 B0 00 00 C0 04 B0 00 08 B0 07 49 B0 5B 50 "
                   "B9 00 7F B9 20 00 C9 19 B9 00 00 B9 20 00 " +
                   kit +
                   "B9 07 41 "
                   "B1 00 7F B1 20 00 C1 01 B1 00 00 B1 20 00 B1 63 1C B1 62 53 B1 06 58 B1 64 7F "
                   "B1 65 7F " +
                   volumes("49", "41") + "99 28 60 91 18 62 90 3C 64 89 28 00 81 18 00 80 3C 00"},
      {To::gm, gmSystemOn + " B2 0A 20 B0 00 08 B0 00 00 C0 04 B0 00 08 B0 07 49 B0 5B 50 " +
                   "B9 07 41 " + volumes("49", "41") +
                   "99 28 60 99 18 62 90 3C 64 89 28 00 89 18 00 80 3C 00"},
      {To::none,
       "F0 41 10 42 12 40 00 7F 00 41 F7 F0 41 10 42 12 40 12 15 02 17 F7 "
       "F0 41 10 42 12 40 13 1C 20 0F F7 F0 41 10 42 12 40 00 04 64 58 F7 "
       "B0 00 08 C0 04 B0 07 64 B0 5B 28 C9 19 B9 07 64 C1 1E "
       "99 28 64 91 18 64 90 3C 64 89 28 00 81 18 00 80 3C 00"},
  };
  for (const Case& c : cases) {
    PlayerRig rig;
    EXPECT_EQ(play(rig, c.target, song(gsSong)), c.heard);
    EXPECT_EQ(rig.engine.stage.translator.shown, SongConvention::gs);
  }
}

TEST(TranslatedSong, Sc88SongToXgAndXgSongToGm) {
  struct Case {
    To target;
    Events events;
    std::string heard;
  } cases[] = {
      {To::xg,
       {{0, "F0 41 10 42 12 00 00 7F 00 01 F7 B0 00 01 C0 7D"},
        {480, "90 3C 64"},
        {480, "80 3C 00"}},
       xgSetup(1) + " B0 00 01 B0 00 40 B0 20 00 C0 50 B0 00 01 B0 20 00 90 3C 64 80 3C 00"},
      {To::gm,
       {{0, "F0 43 10 4C 00 00 7E 00 F7 B2 00 7F C2 00 B3 20 05 C3 0A B0 5B 28"},
        {480, "92 24 64 93 40 64"},
        {480, "82 24 00 83 40 00"}},
       gmSystemOn + " B2 00 7F B3 20 05 B3 20 00 C3 0A B3 20 05 B0 5B 28 " +
           "99 24 64 93 40 64 89 24 00 83 40 00"},
  };
  for (const Case& c : cases) {
    PlayerRig rig;
    EXPECT_EQ(play(rig, c.target, song(c.events)), c.heard);
  }
}

// The set-up holds the music back 1060 ms while only 120 ms are slept; the GM reset 100 ms.
TEST(TranslatedSong, FirstNoteAfterTheResetSoundsLater) {
  Bytes file =
      song({{0, "F0 41 10 42 12 40 00 7F 00 41 F7"}, {480, "90 3C 64"}, {480, "80 3C 00"}});
  auto noteTime = [&](To target) {
    PlayerRig rig;
    play(rig, target, file);
    for (const auto& [time, bytes] : rig.sent())
      if (bytes == hex("90 3C 64")) return time;
    return 0u;
  };
  // 500 ms of music less the start's 100 ms lead, and 4 ms spacing for each of the two events.
  EXPECT_EQ(noteTime(To::none), 408u);
  EXPECT_EQ(noteTime(To::xg), 408u + 1060);
  EXPECT_EQ(noteTime(To::gm), 408u + 100);
}

// A repeat back to the song's start finds its reset again.
TEST(TranslatedSong, RepeatFromTheStartSetsUpAgain) {
  PlayerRig rig;
  rig.engine.state.repeatCount = 1;
  std::string heard = play(rig, To::xg, song(gsSong));
  size_t first = heard.find(xgSetup(0));
  EXPECT_NE(heard.find(xgSetup(0), first + 1), std::string::npos);
}

// Device 0x7F, part 1 made a drum part and part 10 a normal part: under GM the notes of channel
// 1 move to channel 10, those of channel 10 stay there; under XG each part gets its new voice
// when the message comes.
TEST(TranslatedSong, DrumPartChangeOfThePublicTestSong) {
  std::string path =
      std::string(TESSARO_CORPUS_DIR) + "/jazz-soft/test-sysex-gs-40-1x-15-drum-part-change.mid";
  const std::string drums = " B0 00 7F B0 20 00 C0 00 ", piano = " B9 00 00 B9 20 00 C9 00 ";
  for (auto [target, first, channels, voices] :
       {std::tuple{To::gm, gmSystemOn, "9999 9999", std::string(" ")},
        std::tuple{To::xg, xgSetup(0), "0000 9999", drums + "90"}}) {
    PlayerRig rig;
    ASSERT_EQ(loadSong(rig.engine, path.c_str()), loadOk);
    int prepared = preparePlayback(rig.engine);
    setTarget(rig.options, target);
    rig.playPrepared(prepared);
    std::vector<Captured> writes;
    for (const auto& [time, bytes] : rig.sent()) writes.push_back({time, bytes});
    std::string heard = heardOn(writes), noteChannels;
    EXPECT_EQ(heard.rfind(first + voices, 0), 0u);
    EXPECT_EQ(heard.find(piano) != std::string::npos, target == To::xg);
    for (const Bytes& m : messagesOf(hex(heard))) {
      if ((m[0] & 0xF0) == 0x90 && m[2] > 0) noteChannels += std::to_string(m[0] & 0x0F);
      if (noteChannels.size() == 4) noteChannels += ' ';
    }
    EXPECT_EQ(noteChannels, channels);
    EXPECT_EQ(rig.engine.stage.translator.channels[0].rhythmMode, 2);
    EXPECT_EQ(rig.engine.stage.translator.channels[9].rhythmMode, 0);
  }
}

// Every public test song translated plays to its end with only whole messages and 7-bit data
// on the wire, and nothing sounds after the stop.
TEST(TranslatedSong, PublicTestSongsLeaveACleanWire) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(
           std::filesystem::path(TESSARO_CORPUS_DIR) / "jazz-soft", error)) {
    if (entry.path().extension() != ".mid") continue;
    for (To target : {To::xg, To::gm}) {
      PlayerRig rig;
      loadSong(rig.engine, entry.path().string().c_str());
      if (preparePlayback(rig.engine) == 0) {
        setTarget(rig.options, target);
        rig.playPrepared(0);
      }
      stopPlayback(rig.engine);
      SCOPED_TRACE(entry.path().string());
      heardOn(rig.serial.writes);
      EXPECT_TRUE(soundingOnWire(rig.serial.bytes()).empty());
    }
  }
}

}  // namespace
}  // namespace tessaro::testing
