// The player in virtual time: exact bytes and times on the wire for timing, ordering, skips,
// malformed events, repeats, fade-out and stop.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "support/translate_rig.h"

namespace tessaro::testing {
namespace {

using Sent = std::vector<std::pair<uint32_t, Bytes>>;

const Bytes noteOn{0x90, 0x3C, 0x40};
const Bytes noteOff{0x80, 0x3C, 0x00};

TEST(PlayerOrder, EventsOfEqualTickPlayInTrackOrder) {
  PlayerRig rig;
  Track a, b;
  a.ev(0, {0xC0, 0x05}).end();
  b.ev(0, {0xC1, 0x06}).end();
  EXPECT_EQ(rig.play(smf(1, 480, {a, b})), playerDone);
  // Before the first note every event is spaced 4 ms, End of Track included.
  EXPECT_EQ(rig.sent(), (Sent{{4, {0xC0, 0x05}}, {12, {0xC1, 0x06}}}));
}

TEST(PlayerTiming, TempoChangesAndCarriedRemainder) {
  PlayerRig rig;
  Track t;
  t.ev(0, {0x90, 0x3C, 0x40}).ev(480, {0x80, 0x3C, 0x00}).tempo(0, 250000);
  t.ev(480, {0x90, 0x3E, 0x40}).ev(480, {0x80, 0x3E, 0x00}).end();
  rig.play(smf(0, 480, {t}));
  // 480 ticks at 1042 us = 500.16 ms; then 521 us per tick: 250.08 + 0.16 carried = 250 ms
  // and 250.08 + 0.24 = 250 ms.
  EXPECT_EQ(rig.sent(), (Sent{{4, {0x90, 0x3C, 0x40}},
                              {504, {0x80, 0x3C, 0x00}},
                              {754, {0x90, 0x3E, 0x40}},
                              {1004, {0x80, 0x3E, 0x00}}}));
  EXPECT_EQ(rig.engine.state.usPerTick, 521);
}

TEST(PlayerTiming, LongWaitsAreSleptIn210MsPieces) {
  PlayerRig rig;
  Track t;
  t.ev(0, {0x90, 0x3C, 0x40}).ev(1000, {0x80, 0x3C, 0x00}).end();
  rig.play(smf(0, 480, {t}));
  auto& sleeps = rig.clock.sleeps;
  ASSERT_GE(sleeps.size(), 5u);
  std::vector<int32_t> last(sleeps.end() - 5, sleeps.end());
  EXPECT_EQ(last, (std::vector<int32_t>{210, 210, 210, 210, 202}));
  EXPECT_EQ(rig.sent().back(), (std::pair<uint32_t, Bytes>{4 + 1042, {0x80, 0x3C, 0x00}}));
}

TEST(PlayerTiming, SetUpBeforeTheFirstNoteIsSpacedAndThenHeldBack) {
  PlayerRig rig;
  Track t;
  t.ev(0, {0xB0, 0x0A, 0x20}).ev(0, {0xB0, 0x5B, 0x30}).ev(0, {0xC0, 0x01});
  t.ev(96, {0x90, 0x3C, 0x40}).ev(480, {0x80, 0x3C, 0x00}).end();
  rig.play(smf(0, 480, {t}));
  // The first 100 ms of music are already due at the start; the 4 ms spacing holds the rest
  // of the song back, so the note-off keeps its 500 ms after the note.
  EXPECT_EQ(rig.sent(), (Sent{{4, {0xB0, 0x0A, 0x20}},
                              {8, {0xB0, 0x5B, 0x30}},
                              {12, {0xC0, 0x01}},
                              {16, {0x90, 0x3C, 0x40}},
                              {516, {0x80, 0x3C, 0x00}}}));
}

// An SMPTE division counts ticks of real time: frames a second x ticks a frame, whatever tempo
// the song sets. Worked by hand: 25 x 40 is a tick a millisecond; 30 x 80 is 2400 ticks a second
// (417 us a tick); 29.97 drop-frame x 40 is 834 us a tick; 24 x 4 is 10417 us a tick. The
// microseconds left over carry to the next wait.
TEST(PlayerTiming, SmpteDivisionPlaysAtItsRealTimeWhateverTheTempo) {
  struct Row {
    int division;
    uint32_t delta;  // ticks from the first note to the second, and on to the third
    uint32_t firstGapMs;
    uint32_t secondGapMs;
  } rows[] = {
      {0xE728, 500, 500, 500},     // -25 fps, 40 ticks a frame
      {0xE250, 1200, 500, 500},    // -30 fps, 80 ticks a frame: 1200 x 417 us = 500.4 ms
      {0xE328, 1200, 1000, 1001},  // -29 (29.97) fps, 40 ticks a frame: 1200 x 834 = 1000.8 ms
      {0xE804, 48, 500, 500},      // -24 fps, 4 ticks a frame: 48 x 10417 us = 500.0 ms
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << std::hex << row.division);
    PlayerRig rig;
    Track t;
    t.tempo(0, 250000).ev(0, {0x90, 0x3C, 0x40}).ev(row.delta, {0x90, 0x3E, 0x40});
    t.tempo(0, 2000000).ev(row.delta, {0x90, 0x40, 0x40}).end();
    EXPECT_EQ(rig.play(smf(0, row.division, {t})), playerDone);
    Sent sent = rig.sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1].first - sent[0].first, row.firstGapMs);
    EXPECT_EQ(sent[2].first - sent[1].first, row.secondGapMs);
  }
}

TEST(PlayerTiming, FirstNoteSoundsAtOnceAfterALongSetUp) {
  PlayerRig rig;
  Track t;
  for (int i = 0; i < 40; ++i) t.ev(0, {0xB0, 0x07, 0x64});
  t.ev(0, {0x90, 0x3C, 0x40}).ev(480, {0x80, 0x3C, 0x00}).end();
  rig.play(smf(0, 480, {t}));
  Sent sent = rig.sent();
  ASSERT_EQ(sent.size(), 42u);
  EXPECT_EQ(sent[40].first, 41u * 4);
  EXPECT_EQ(sent[41].first - sent[40].first, 500u);
}

TEST(PlayerSkip, FastForwardSendsNoNotesThenPlaysInTime) {
  PlayerRig rig;
  Track t;
  t.ev(0, {0xB0, 0x0A, 0x20}).ev(0, {0x90, 0x3C, 0x40}).ev(960, {0xB0, 0x0A, 0x30});
  t.ev(960, {0x90, 0x3E, 0x40}).ev(0, {0xB0, 0x0A, 0x40}).ev(480, {0x80, 0x3E, 0x00});
  t.ev(0, {0x90, 0x40, 0x40}).ev(480, {0x80, 0x40, 0x00}).end();
  rig.load(smf(0, 480, {t}));
  int prepared = preparePlayback(rig.engine);
  positionToMeasure(rig.engine, 0, 4);  // tick 1920: measure 2
  EXPECT_EQ(rig.engine.state.nowTick, 1920);
  rig.playPrepared(prepared);
  // Non-note events up to and including the target go out 2 ms apart, notes do not (not even
  // the target's own); then the music goes on in time. The note-off of a note never sent
  // goes out as the song has it.
  EXPECT_EQ(rig.sent(), (Sent{{0, {0xB0, 0x0A, 0x20}},
                              {2, {0xB0, 0x0A, 0x30}},
                              {4, {0xB0, 0x0A, 0x40}},
                              {506, {0x80, 0x3E, 0x00}},
                              {506, {0x90, 0x40, 0x40}},
                              {1006, {0x80, 0x40, 0x00}}}));
  // Only notes actually sent are counted as sounding.
  EXPECT_EQ(rig.engine.stage.sounding()[0][0x3E], 0);
}

TEST(PlayerEnd, SongEndLeavesThePlayerForTheStop) {
  PlayerRig rig;
  Track t;
  t.ev(0, {0x90, 0x3C, 0x40}).end(10);
  EXPECT_EQ(rig.play(smf(0, 480, {t})), playerDone);
  EXPECT_EQ(rig.engine.state.threadStatus, 2);
  EXPECT_EQ(rig.engine.state.playRequest, 0);
  EXPECT_EQ(rig.engine.state.measure, 1);
  EXPECT_EQ(rig.log.captured(), "");
}

struct MalformedCase {
  const char* name;
  Bytes events;  // track bytes after a first note
  int result;
  const char* message;
};

class PlayerMalformed : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(PlayerMalformed, EndsTheThreadWithItsCodeAndMessage) {
  const MalformedCase& c = GetParam();
  PlayerRig rig;
  Track t;
  t.ev(0, {0x90, 0x3C, 0x40});
  t.bytes.insert(t.bytes.end(), c.events.begin(), c.events.end());
  EXPECT_EQ(rig.play(smf(0, 480, {t})), c.result);
  // The song is named by the path it was loaded from, here a temporary one.
  std::string said = rig.log.captured();
  const std::string& name = rig.engine.song.name;
  if (size_t at = said.find(name); !name.empty() && at != std::string::npos)
    said.replace(at, name.size(), "SONG");
  EXPECT_EQ(said, c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlayerMalformed,
    ::testing::Values(
        MalformedCase{"SequenceNumberLength",
                      {0x00, 0xFF, 0x00, 0x01, 0x00, 0x00, 0xFF, 0x2F, 0x00},
                      playerBadMeta,
                      "For Thread Debug 4.\n"},
        MalformedCase{"EndOfTrackLength",
                      {0x00, 0xFF, 0x2F, 0x01, 0x00},
                      playerBadMeta,
                      "For Thread Debug 5.\n"},
        MalformedCase{"TempoLength",
                      {0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1, 0x00, 0xFF, 0x2F, 0x00},
                      playerBadMeta,
                      ""},
        MalformedCase{
            "SmpteLength", {0x00, 0xFF, 0x54, 0x00, 0x00, 0xFF, 0x2F, 0x00}, playerBadMeta, ""},
        MalformedCase{"TimeSignatureLength",
                      {0x00, 0xFF, 0x58, 0x01, 0x04, 0x00, 0xFF, 0x2F, 0x00},
                      playerBadMeta,
                      ""},
        MalformedCase{"KeySignatureLength",
                      {0x00, 0xFF, 0x59, 0x01, 0x00, 0x00, 0xFF, 0x2F, 0x00},
                      playerBadMeta,
                      ""},
        // A broken system exclusive ends the song, said once with the track and the tick.
        MalformedCase{"SysExLengthMismatch",
                      {0x00, 0xF0, 0x03, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0x00, 0xFF, 0x2F, 0x00},
                      playerBadSysEx,
                      "tessaro: SONG: track 1, tick 0: a system exclusive of 3 bytes does not "
                      "end at its F7: the song ends here\n"},
        MalformedCase{"SysExWithoutEnd",
                      {0x00, 0xF0, 0x03, 0x7E, 0x7F, 0x00, 0xFF, 0x2F, 0x00},
                      playerBadSysEx,
                      "tessaro: SONG: track 1, tick 0: a system exclusive has no end (F7): the "
                      "song ends here\n"},
        MalformedCase{"SysExOfLengthZeroLater",
                      {0x60, 0xF0, 0x00, 0xF7, 0x00, 0xFF, 0x2F, 0x00},
                      playerBadSysEx,
                      "tessaro: SONG: track 1, tick 96: a system exclusive of 0 bytes does not "
                      "end at its F7: the song ends here\n"},
        MalformedCase{"TrackRunsOutWithoutEndOfTrack",
                      {0x00, 0xC0, 0x00},
                      playerOverrun,
                      "Assert fail : trkptr overrun. : 7 (0)\n"
                      " Illegal End of Track 1 (7 bytes: should be <7) \n"},
        MalformedCase{"MetaLongerThanTheTrack",
                      {0x00, 0xFF, 0x01, 0x40, 0x41, 0xFF, 0x2F, 0x00},
                      playerOverrun,
                      "Assert fail : trkptr overrun. : 12 (0)\n"
                      " Illegal End of Track 1 (12 bytes: should be <12) \n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlayerEvents, LongSystemExclusiveGoesOutWhole) {
  for (int selector : {1, 0}) {
    PlayerRig rig(selector);
    Bytes sysex{0xF0};
    Bytes length = vlq(5000);
    sysex.insert(sysex.end(), length.begin(), length.end());
    for (int i = 0; i < 4999; ++i) sysex.push_back(static_cast<uint8_t>(i % 128));
    sysex.push_back(0xF7);
    Track t;
    t.raw(0, sysex).ev(0, {0x90, 0x3C, 0x40}).end();
    EXPECT_EQ(rig.play(smf(0, 480, {t})), playerDone);
    Bytes expected{0xF0};
    expected.insert(expected.end(), sysex.begin() + 3, sysex.end());
    if (selector == 1) {
      EXPECT_EQ(rig.sentBytes().front(), expected);
    } else {
      bool found = false;
      for (const auto& r : rig.midi.records) found |= r.isLong && r.bytes == expected;
      EXPECT_TRUE(found);
    }
  }
}

// Channel messages of a song always carry their status byte on a serial line.
TEST(PlayerEvents, RunningStatusAcrossMetaAndSystemExclusive) {
  struct Case {
    const char* name;
    Bytes track;
    std::vector<Bytes> wire;
  } cases[] = {
      {"after a meta event the channel status goes on",
       {0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x01, 0x01, 0x41, 0x00, 0x3E, 0x40, 0x00, 0xFF, 0x2F,
        0x00},
       {{0x90, 0x3C, 0x40}, {0x90, 0x3E, 0x40}}},
      {"after a system exclusive the status is sent again",
       {0x00, 0x90, 0x3C, 0x40, 0x00, 0xF0, 0x02, 0x01, 0xF7, 0x00, 0x3E, 0x40, 0x00, 0xFF, 0x2F,
        0x00},
       {{0x90, 0x3C, 0x40}, {0xF0, 0x01, 0xF7}, {0x90, 0x3E, 0x40}}},
      {"a data byte with no status before it is skipped",
       {0x00, 0x40, 0x00, 0xC0, 0x05, 0x00, 0xFF, 0x2F, 0x00},
       {{0xC0, 0x05}}},
      {"time code quarter frame carries one data byte",
       {0x00, 0xF1, 0x20, 0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00},
       {{0xF1, 0x20}, {0x90, 0x3C, 0x40}}},
      {"escape events go out as stored",
       {0x00, 0xF7, 0x02, 0xF3, 0x01, 0x00, 0xFF, 0x2F, 0x00},
       {{0xF7, 0xF3, 0x01}}},
  };
  for (const Case& c : cases) {
    PlayerRig rig;
    Track t;
    t.bytes = c.track;
    EXPECT_EQ(rig.play(smf(0, 480, {t})), playerDone) << c.name;
    EXPECT_EQ(rig.sentBytes(), c.wire) << c.name;
  }
}

// Note-ons of one key in what the player sent.
int countNoteOns(const PlayerRig& rig, uint8_t key) {
  int count = 0;
  for (const Bytes& b : rig.sentBytes()) {
    if (b.size() == 3 && (b[0] & 0xF0) == 0x90 && b[1] == key && b[2] > 0) ++count;
  }
  return count;
}

TEST(PlayerRepeat, CountRepeatsTheWholeSong) {
  PlayerRig rig;
  rig.engine.state.repeatCount = 2;
  Track t;
  t.ev(0, {0x90, 0x3C, 0x40}).ev(480, {0x80, 0x3C, 0x00}).end();
  EXPECT_EQ(rig.play(smf(0, 480, {t})), playerDone);
  EXPECT_EQ(countNoteOns(rig, 0x3C), 3);
  EXPECT_EQ(rig.engine.state.repeatCount, 0);
}

TEST(PlayerRepeat, MarkersRepeatASection) {
  struct Case {
    const char* mark;
    int userCount;  // -1: not set by the user
    int section;    // plays of the marked section
  } cases[] = {{"REPEAT 3", -1, 3}, {"repeat3", -1, 3}, {"MARK 2", -1, 3},
               {"REPEAT", -1, 2},   {"REPEAT", 4, 5},   {"MARK 0", -1, 1}};
  for (const Case& c : cases) {
    PlayerRig rig;
    if (c.userCount >= 0) {
      rig.engine.state.repeatCount = c.userCount;
      rig.engine.state.repeatSetByUser = 255;
    }
    Track t;
    t.ev(0, {0x90, 0x30, 0x40}).ev(480, {0x80, 0x30, 0x00}).text(0, c.mark);
    t.ev(0, {0x90, 0x3C, 0x40}).ev(480, {0x80, 0x3C, 0x00}).text(0, "JUMP");
    t.ev(0, {0x90, 0x40, 0x40}).ev(480, {0x80, 0x40, 0x00}).end();
    EXPECT_EQ(rig.play(smf(0, 480, {t})), playerDone) << c.mark;
    EXPECT_EQ(countNoteOns(rig, 0x30), 1) << c.mark;
    EXPECT_EQ(countNoteOns(rig, 0x3C), c.section) << c.mark;
    EXPECT_EQ(countNoteOns(rig, 0x40), 1) << c.mark;
  }
}

TEST(PlayerRepeat, JumpInAnotherTrackThanTheMarkKeepsTheChainWhole) {
  PlayerRig rig;
  Track a, b;
  a.text(0, "REPEAT 2").ev(0, {0x90, 0x3C, 0x40}).ev(480, {0x80, 0x3C, 0x00}).end(480);
  b.ev(0, {0x91, 0x40, 0x40}).ev(480, {0x81, 0x40, 0x00}).text(0, "JUMP");
  b.ev(0, {0x91, 0x43, 0x40}).ev(480, {0x81, 0x43, 0x00}).end();
  EXPECT_EQ(rig.play(smf(1, 480, {a, b})), playerDone);
  EXPECT_EQ(countNoteOns(rig, 0x3C), 2);
  EXPECT_EQ(countNoteOns(rig, 0x40), 2);
  EXPECT_EQ(countNoteOns(rig, 0x43), 1);
  EXPECT_EQ(chainLength(rig.engine), 0);
}

TEST(PlayerRepeat, JumpWithoutRepeatsLeftEndsTheSongThere) {
  PlayerRig rig;
  rig.engine.state.repeatCount = 3;
  Track t;
  t.ev(0, {0x90, 0x3C, 0x40}).ev(480, {0x80, 0x3C, 0x00}).text(0, "MARK 0");
  t.ev(0, {0x90, 0x3E, 0x40}).text(480, "JUMP").ev(0, {0x80, 0x3E, 0x00}).end();
  EXPECT_EQ(rig.play(smf(0, 480, {t})), playerDone);
  // MARK 0 set the count to 0: the jump only marks the song, and its end does not repeat.
  EXPECT_EQ(countNoteOns(rig, 0x3C), 1);
  EXPECT_EQ(countNoteOns(rig, 0x3E), 1);
}

// The wire after the start as "@time message ...", status bytes written out; with notesOnly,
// the notes alone.
std::string timeline(const PlayerRig& rig, bool notesOnly) {
  std::string out;
  uint32_t last = UINT32_MAX;
  uint8_t running = 0;
  for (auto [time, m] : rig.sent()) {
    if (m[0] < 0x80) m.insert(m.begin(), running);
    if (m[0] < 0xF0) running = m[0];
    if (notesOnly && (m[0] < 0x80 || m[0] >= 0xA0)) continue;
    out +=
        (time == last ? " " : (out.empty() ? "@" : " @") + std::to_string(time) + " ") + hexOf(m);
    last = time;
  }
  return out;
}

// A song of one track or more at 480 ticks to the quarter note, each track written as events
// "delta hex bytes" separated by commas, or "delta text:words" and "delta marker:words" for
// text and marker events, and closed by its End of Track.
Bytes song(const std::vector<std::string>& tracks) {
  std::vector<Track> out(tracks.size());
  for (size_t i = 0; i < tracks.size(); ++i) {
    std::istringstream in(tracks[i] + ",");
    uint32_t delta = 0;
    for (std::string rest; in >> delta >> std::ws && std::getline(in, rest, ',');) {
      size_t colon = rest.find(':');
      if (colon == std::string::npos) out[i].raw(delta, hex(rest));
      if (colon != std::string::npos)
        out[i].text(delta, rest.substr(colon + 1), rest[0] == 'm' ? 6 : 1);
    }
    out[i].end();
  }
  return smf(tracks.size() > 1 ? 1 : 0, 480, out);
}

Bytes corpusSong(const char* name) {
  std::ifstream in(std::string(TESSARO_CORPUS_DIR) + "/jazz-soft/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// What a listener heard wrong before: notes across jumps, the start position's timing, an escape
// event past its track's end, the loop markers, a track cut short by the file's end.
TEST(PlayerMusic, JumpsLoopsStartPositionsAndCutTracks) {
  std::string bends = "0 E0 00 40";
  for (int i = 1; i < 300; ++i) bends += ", 6 E0 00 40";
  struct Row {
    const char* name;
    Bytes file;
    int repeats, measure;  // the user's repeat count and start measure (0 the song start)
    bool notesOnly;        // only the notes are compared
    std::string wire, log = "";
  } rows[] = {
      {"a JUMP skips another track's note-off at its tick: ended at the jump",
       song({"0 text:REPEAT 2, 480 text:JUMP", "0 90 3C 40, 480 80 3C 00"}), 0, 0, false,
       "@8 90 3C 40 @508 80 3C 00 90 3C 40 @1008 80 3C 00"},
      {"a REPEAT in a later track than a note of its tick replays the note",
       song({"480 90 3C 40, 480 80 3C 00", "480 text:REPEAT 2, 480 text:JUMP"}), 0, 0, false,
       "@404 90 3C 40 @904 80 3C 00 90 3C 40 @1404 80 3C 00"},
      {"a whole-song repeat ends what still sounds and spaces its set-up again",
       song({"0 C0 05, 0 90 3C 40, 240 90 3E 40, 240 80 3C 00"}), 1, 0, false,
       "@4 C0 05 @8 90 3C 40 @258 90 3E 40 @508 80 3C 00 80 3E 00 @512 C0 05 @516 90 3C 40 "
       "@766 90 3E 40 @1016 80 3C 00"},
      {"a start after many skipped events keeps the music's distance to its first note",
       song({bends + ", 606 90 3C 40, 480 80 3C 00"}), 0, 2, true, "@1104 90 3C 40 @1604 80 3C 00"},
      {"an escape event past its track's end ends that track only",
       song({"0 90 3C 40, 480 80 3C 00", "0 F7 40 41"}), 0, 0, false, "@4 90 3C 40 @504 80 3C 00",
       "Assert fail : trkptr overrun. : 8 (1)\n Illegal End of Track 2 (8 bytes: should be <8) \n"},
      {"controller 111 is a loop start: back there, controllers and program as they were",
       song({"0 C0 01, 0 B0 07 64, 0 90 30 40, 480 80 30 00, 0 B5 6F 00, "
             "0 90 3C 40, 240 C0 02, 0 B0 07 50, 240 80 3C 00"}),
       1, 0, false,
       "@4 C0 01 @8 B0 07 64 @12 90 30 40 @512 80 30 00 B5 6F 00 90 3C 40 @762 C0 02 B0 07 50 "
       "@1012 80 3C 00 C0 01 B0 07 64 90 3C 40 @1262 C0 02 B0 07 50 @1512 80 3C 00"},
      {"loopStart and loopEnd in any letter case; the loop end's note-off skipped is sent",
       song({"0 90 30 40, 480 80 30 00, 0 marker:LoopStart, 0 90 3C 40, "
             "480 text:LOOPEND, 0 80 3C 00, 0 90 40 40, 480 80 40 00"}),
       1, 0, false,
       "@4 90 30 40 @504 80 30 00 90 3C 40 @1004 80 3C 00 90 3C 40 @1504 80 3C 00 90 40 40 "
       "@2004 80 40 00"},
      {"with a JUMP in the song its loop start is passed over",
       song({"0 90 30 40, 480 80 30 00, 0 B0 6F 00, 0 90 3C 40, 480 80 3C 00, 0 text:JUMP"}), 1, 0,
       false,
       "@4 90 30 40 @504 80 30 00 B0 6F 00 90 3C 40 @1004 80 3C 00 @1008 90 30 40 @1508 80 30 00 "
       "B0 6F 00 90 3C 40 @2008 80 3C 00"},
      {"test-corrupt-file-missing-byte.mid plays its scale, its track ended at the file's end",
       corpusSong("test-corrupt-file-missing-byte.mid"), 0, 0, true,
       "@20 90 3C 7F @519 80 3C 40 90 3E 7F @1019 80 3E 40 90 40 7F @1519 80 40 40 90 41 7F "
       "@2019 80 41 40 90 43 7F @2519 80 43 40 90 45 7F @3019 80 45 40 90 47 7F @3519 80 47 40 "
       "90 48 7F @4019 80 48 40",
       "Assert fail : trkptr overrun. : 245 (0)\n Illegal End of Track 1 (245 bytes: should be "
       "<245) \n"},
  };
  for (const Row& row : rows) {
    PlayerRig rig;
    rig.engine.state.repeatCount = row.repeats;
    rig.load(row.file);
    int prepared = preparePlayback(rig.engine);
    if (row.measure > 0) positionToMeasure(rig.engine, row.measure - 1, 0);
    rig.playPrepared(prepared);
    EXPECT_EQ(timeline(rig, row.notesOnly), row.wire) << row.name;
    EXPECT_EQ(rig.log.captured(), row.log) << row.name;
    std::set<std::pair<int, int>> sounding;  // the grid shows what sounds, across the jumps too
    for (int c = 0; c < 16; ++c)
      for (int k = 0; k < 128; ++k)
        if (rig.engine.stage.sounding()[c][k] > 0) sounding.emplace(c, k);
    EXPECT_EQ(rig.observer.lit, sounding) << row.name;
    EXPECT_EQ(rig.observer.relit, 0) << row.name;
    stopPlayback(rig.engine);
    EXPECT_TRUE(soundingOnWire(rig.serial.bytes()).empty()) << row.name;
  }
}

TEST(PlayerFade, DefaultFadeEndsTheSongAtStep44) {
  PlayerRig rig;
  Track t;
  t.ev(0, {0x90, 0x3C, 0x40});
  for (int i = 0; i < 200; ++i) t.ev(96, {0xB0, 0x01, 0x00});
  t.end();
  rig.load(smf(0, 480, {t}));
  int prepared = preparePlayback(rig.engine);
  rig.session.stage.startFade();
  EXPECT_EQ(rig.playPrepared(prepared), playerDone);
  EXPECT_EQ(rig.session.stage.volumeOffset(), -132);
  EXPECT_EQ(rig.engine.state.threadStatus, 0);
  Bytes last = rig.sentBytes().back();
  EXPECT_EQ(last, (Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
  // The sounding note was ended before the reset.
  EXPECT_EQ(rig.engine.stage.sounding()[0][0x3C], 0);
  // 43 steps lower the volumes; the first comes at once, with the song's first volumes.
  int volumeSweeps = 0;
  for (const Bytes& b : rig.sentBytes()) volumeSweeps += b.size() == 3 && b[0] == 0xBF && b[1] == 7;
  EXPECT_EQ(volumeSweeps, 42);
}

// Any fade step a user can give ends the song without an overflow in the end test.
TEST(PlayerFade, TheLargestStepEndsTheSongAtOnce) {
  PlayerRig rig;
  Track t;
  t.ev(0, {0x90, 0x3C, 0x40});
  for (int i = 0; i < 20; ++i) t.ev(96, {0xB0, 0x01, 0x00});
  t.end();
  rig.load(smf(0, 480, {t}));
  int prepared = preparePlayback(rig.engine);
  rig.options.fadeStep = INT32_MAX;
  rig.session.stage.startFade();
  EXPECT_EQ(rig.playPrepared(prepared), playerDone);
  EXPECT_EQ(rig.engine.state.threadStatus, 0);
  EXPECT_EQ(rig.sentBytes().back(), (Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
}

TEST(PlayerStop, EverySoundingNoteGetsItsNoteOffThenGmSystemOn) {
  PlayerRig rig;
  Track t;
  t.ev(0, {0x90, 0x3C, 0x40}).ev(0, {0x90, 0x3C, 0x40}).ev(0, {0x91, 0x40, 0x40});
  t.ev(0, {0x92, 0x41, 0x40}).ev(0, {0x92, 0x41, 0x00}).end(10);
  rig.play(smf(0, 480, {t}));
  rig.serial.writes.clear();
  stopPlayback(rig.engine);
  EXPECT_EQ(rig.sentBytes(), (std::vector<Bytes>{{0x80, 0x3C, 0x00},
                                                 {0x3C, 0x00},
                                                 {0x81, 0x40, 0x00},
                                                 {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}}));
  EXPECT_EQ(rig.engine.state.threadStatus, 0);
}

// The song's bank selects are remembered per track by the player, beside the translation's
// record per channel.
TEST(PlayerBanks, RecordedPerTrack) {
  PlayerRig rig;
  Track a, b;
  a.end();
  b.ev(0, {0xB4, 0x00, 0x08}).ev(0, {0xB4, 0x20, 0x02}).end();
  rig.play(smf(1, 480, {a, b}));
  const TrackCursor& cursor = rig.engine.state.cursors[1];
  EXPECT_EQ(std::make_pair(cursor.trackBankMsb, cursor.trackBankLsb), std::make_pair(8, 2));
  EXPECT_EQ(rig.engine.state.cursors[0].trackBankMsb, 0);
}

// The song's master volume takes its cut off the volume offset, replacing the previous cut;
// the offset stays within its range.
TEST(PlayerVolume, MasterVolumeCutReplacesThePreviousOne) {
  struct Case {
    int32_t user;
    std::vector<int32_t> cuts;
    int32_t offset;
  } cases[] = {
      {0, {27}, -27}, {0, {27, 0}, 0}, {0, {27, 47}, -47}, {-10, {27}, -37}, {-250, {127}, -256},
  };
  for (const Case& c : cases) {
    PlayerRig rig;
    TranslationStage& stage = rig.session.stage;
    rig.options.volumeAdd = c.user;
    stage.userVolumeChanged();
    stage.service();
    stage.translator.shown = SongConvention::gs;
    for (int32_t cut : c.cuts) {
      // GS master volume (address 40 00 04) = 127 - cut, with its Roland checksum.
      uint8_t value = static_cast<uint8_t>(127 - cut);
      uint8_t sum = static_cast<uint8_t>((128 - (0x40 + 0x00 + 0x04 + value) % 128) % 128);
      const uint8_t body[] = {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x04, value, sum, 0xF7};
      stage.systemExclusive(body, sizeof body, false);
    }
    EXPECT_EQ(stage.volumeOffset(), c.offset) << c.user;
    EXPECT_EQ(stage.masterVolumeCut(), c.cuts.back());
    EXPECT_TRUE(stage.volumesDue());
  }
}

}  // namespace
}  // namespace tessaro::testing
