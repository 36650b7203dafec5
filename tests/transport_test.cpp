// Pause and seek, in virtual time. A seek leaves the module in the state a start at that measure
// (@m) gives it, read from the wire by a model of the module, and the song goes on from the
// target at the same distances as after that start, the target tick's notes included. A pause
// ends the notes and releases the pedal, sends nothing but what the user asks, and resumes where
// it stood.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "player/engine.h"
#include "support/module_state.h"
#include "support/player_rig.h"

namespace tessaro::testing {
namespace {

constexpr int division = 480;
constexpr int measureTicks = 4 * division;
constexpr int firstKey = 40;  // the note of quarter q is firstKey + q

// Eight measures. A note each quarter (its own key), and the state a module keeps changed at
// off-beats: a GS reset and a part parameter, programs and banks, controllers, a registered and
// a non-registered parameter, pitch bend, pressure, a tempo change, Reset All Controllers.
Bytes stateSong() {
  Track conductor, melody, other;
  conductor.tempo(0, 500000).tempo(3 * measureTicks + 120, 400000).end();
  melody.ev(0, {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7});
  melody.ev(0, {0xB0, 0x00, 0x08}).ev(0, {0xC0, 0x05}).ev(0, {0xB0, 0x07, 0x64});
  melody.ev(0, {0xB0, 0x65, 0x00}).ev(0, {0xB0, 0x64, 0x00}).ev(0, {0xB0, 0x06, 0x0C});
  uint32_t at = 0;
  for (int q = 0; q < 32; ++q) {
    uint32_t beat = static_cast<uint32_t>(q * division);
    melody.ev(beat - at, {0x90, static_cast<uint8_t>(firstKey + q), 0x50});
    melody.ev(division / 2, {0x80, static_cast<uint8_t>(firstKey + q), 0x00});
    at = beat + division / 2;
    // Changes in the second half of some quarters, never at a note's tick.
    const std::vector<std::pair<int, std::vector<Bytes>>> changes = {
        {5, {{0xE0, 0x00, 0x50}, {0xB0, 0x0B, 0x50}}},
        {13, {{0xC0, 0x14}, {0xB0, 0x0A, 0x1E}}},
        {17, {{0xB0, 0x79, 0x00}, {0xB0, 0x40, 0x7F}}},
        {25, {{0xB0, 0x07, 0x5A}, {0xE0, 0x00, 0x30}}},
    };
    for (const auto& [quarter, events] : changes) {
      if (quarter != q) continue;
      melody.raw(60, events[0]).raw(0, events[1]);
      at += 60;
    }
  }
  melody.end(division);
  other.ev(division + 100, {0xB2, 0x63, 0x01}).ev(0, {0xB2, 0x62, 0x08}).ev(0, {0xB2, 0x06, 0x40});
  // A GS part parameter (part 3's reverb send level, 40 12 22) and channel pressure.
  other.ev(measureTicks, {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x12, 0x22, 0x30, 0x7C, 0xF7});
  other.ev(10, {0xD2, 0x33}).ev(3 * measureTicks, {0xD2, 0x11}).end();
  return smf(1, division, {conductor, melody, other});
}

// Every message the line took, running status written out, at the time of its last byte.
struct Heard {
  uint32_t time;
  Bytes message;
};
std::vector<Heard> heard(const PlayerRig& rig) {
  Bytes wire;
  std::vector<uint32_t> times;
  for (const Captured& w : rig.serial.writes) {
    wire.insert(wire.end(), w.bytes.begin(), w.bytes.end());
    times.insert(times.end(), w.bytes.size(), w.time - rig.start);
  }
  std::vector<size_t> ends;
  std::vector<Bytes> messages = messagesOnWire(wire, &ends);
  std::vector<Heard> out;
  for (size_t i = 0; i < messages.size(); ++i) out.push_back({times[ends[i]], messages[i]});
  return out;
}

// The first message from `from` on that is a note-on of key; the end when there is none.
size_t noteOnAt(const std::vector<Heard>& heard, size_t from, int key) {
  for (size_t i = from; i < heard.size(); ++i) {
    const Bytes& m = heard[i].message;
    if (m.size() == 3 && (m[0] & 0xF0) == 0x90 && m[1] == key && m[2] > 0) return i;
  }
  return heard.size();
}

ModuleState stateBefore(const std::vector<Heard>& heard, size_t end) {
  ModuleState module;
  for (size_t i = 0; i < end; ++i) module.take(heard[i].message);
  return module;
}

// The messages from heard[first] on, each with its time from that one's.
std::vector<std::pair<uint32_t, Bytes>> from(const std::vector<Heard>& heard, size_t first) {
  std::vector<std::pair<uint32_t, Bytes>> out;
  for (size_t i = first; i < heard.size(); ++i)
    out.emplace_back(heard[i].time - heard[first].time, heard[i].message);
  return out;
}

// The first message heard at or after ms.
size_t firstAfter(const std::vector<Heard>& heard, uint32_t ms) {
  size_t i = 0;
  while (i < heard.size() && heard[i].time < ms) ++i;
  return i;
}

struct SeekRow {
  const char* name;
  Target target;
  int32_t measure;    // the seek's target, from 1
  uint32_t seekAtMs;  // when the seek is asked for, from the song's start
};

class Seek : public ::testing::TestWithParam<SeekRow> {};

TEST_P(Seek, LeavesTheModuleAsTheStartPositionDoesAndPlaysOnAtTheSameDistances) {
  const SeekRow& row = GetParam();
  const int targetKey = firstKey + 4 * (row.measure - 1);

  PlayerRig started;
  started.options.target = row.target;
  started.load(stateSong());
  int prepared = preparePlayback(started.engine);
  positionToMeasure(started.engine, row.measure - 1, 0);
  started.playPrepared(prepared);
  const std::vector<Heard> a = heard(started);
  size_t firstA = noteOnAt(a, 0, targetKey + 1);
  ASSERT_LT(firstA, a.size());

  PlayerRig sought;
  sought.options.target = row.target;
  sought.load(stateSong());
  prepared = preparePlayback(sought.engine);
  bool asked = false;
  sought.clock.onSlept = [&](uint32_t now) {
    if (asked || now - sought.start < row.seekAtMs) return;
    asked = true;
    sought.session.requests.push({RequestKind::seekTick, (row.measure - 1) * measureTicks});
  };
  sought.playPrepared(prepared);
  ASSERT_TRUE(asked);
  const std::vector<Heard> b = heard(sought);
  size_t seekAt = firstAfter(b, row.seekAtMs);
  size_t targetNote = noteOnAt(b, seekAt, targetKey);
  ASSERT_LT(targetNote, b.size()) << "the target tick's note is played";
  size_t firstB = noteOnAt(b, targetNote, targetKey + 1);
  ASSERT_LT(firstB, b.size());

  EXPECT_EQ(stateBefore(b, targetNote), stateBefore(a, firstA));
  EXPECT_EQ(from(b, firstB), from(a, firstA));
}

INSTANTIATE_TEST_SUITE_P(
    Transport, Seek,
    ::testing::Values(SeekRow{"BackToMeasure3Translated", Target::xg, 3, 7000},
                      SeekRow{"BackToMeasure2Untranslated", Target::none, 2, 9000},
                      SeekRow{"ForwardToMeasure6Translated", Target::xg, 6, 1500},
                      SeekRow{"ForwardToMeasure7ForGm", Target::gm, 7, 3000},
                      SeekRow{"ToTheStart", Target::xg, 1, 5000}),
    [](const auto& info) { return std::string(info.param.name); });

// A seek past the song's end acts as its end: a repeat left is taken, else the song ends.
TEST(SeekPastTheEnd, TakesARepeatLeftOrEndsTheSong) {
  for (int repeats : {0, 1}) {
    PlayerRig rig;
    rig.load(stateSong());
    int prepared = preparePlayback(rig.engine);
    if (repeats > 0) rig.session.request({RequestKind::setRepeats, repeats});
    bool asked = false;
    rig.clock.onSlept = [&](uint32_t now) {
      if (asked || now - rig.start < 2000) return;
      asked = true;
      rig.session.requests.push({RequestKind::seekTick, 20 * measureTicks});
    };
    EXPECT_EQ(rig.playPrepared(prepared), playerDone);
    const std::vector<Heard> h = heard(rig);
    size_t seekAt = firstAfter(h, 2000);
    // A repeat plays the song again from its first note; else no note follows the seek.
    EXPECT_EQ(noteOnAt(h, seekAt, firstKey) < h.size(), repeats > 0) << repeats;
    if (repeats == 0) {
      EXPECT_EQ(noteOnAt(h, seekAt, firstKey + 20), h.size());
    }
  }
}

// Where the measure keys land, from where the song stands (division 480: 1920 ticks a measure).
TEST(SeekKeys, LandOnMeasureStarts) {
  struct Row {
    int32_t tick, measures, target;
  } rows[] = {
      {5000, 1, 5760},    // Right: the next measure's start
      {5000, -1, 3840},   // Left: the start of the measure under way
      {3900, -1, 1920},   // ... or of the one before, within the first beat
      {5000, 8, 19200},   // Page Down: eight measures on
      {5000, -8, 0},      // Page Up: never before the start
      {19300, -8, 3840},  // 10 measures in, past the first beat: back to measure 3
      {19200, -8, 3840},  // at measure 11's start: back eight whole measures
      {0, -1, 0},
  };
  for (const Row& row : rows)
    EXPECT_EQ(measureStepTarget(division, row.tick, row.measures), row.target)
        << row.tick << " " << row.measures;
}

// A note held under the sustain pedal, then two more notes a second apart.
Bytes pedalSong() {
  Track t;
  t.ev(0, {0xB0, 0x40, 0x7F}).ev(0, {0x90, 0x30, 0x60});
  t.ev(2 * division, {0x90, 0x32, 0x60}).ev(2 * division, {0x90, 0x34, 0x60});
  t.ev(division, {0x80, 0x30, 0}).ev(0, {0x80, 0x32, 0}).ev(0, {0x80, 0x34, 0});
  t.ev(0, {0xB0, 0x40, 0x00}).end();
  return smf(0, division, {t});
}

// Requests pushed at given times (ms from the song's start), once each.
void schedule(PlayerRig& rig, std::vector<std::pair<uint32_t, Request>> plan) {
  rig.clock.onSlept = [&rig, plan, next = size_t{0}](uint32_t now) mutable {
    while (next < plan.size() && now - rig.start >= plan[next].first)
      rig.session.requests.push(plan[next++].second);
  };
}

std::vector<Bytes> sentBetween(const PlayerRig& rig, uint32_t begin, uint32_t end) {
  std::vector<Bytes> out;
  for (const Heard& h : heard(rig))
    if (h.time >= begin && h.time < end) out.push_back(h.message);
  return out;
}

// When the message was heard (its nth time, from 0); -1 never.
int64_t timeOf(const PlayerRig& rig, const Bytes& message, int nth = 0) {
  for (const Heard& h : heard(rig))
    if (h.message == message && nth-- == 0) return h.time;
  return -1;
}

TEST(Pause, SilencesReleasesThePedalAndResumesWhereItStood) {
  PlayerRig unpaused;
  unpaused.options.target = Target::none;
  unpaused.play(pedalSong());
  PlayerRig rig;
  rig.options.target = Target::none;
  rig.load(pedalSong());
  int prepared = preparePlayback(rig.engine);
  schedule(rig, {{500, {RequestKind::pause}}, {4500, {RequestKind::pause}}});
  rig.playPrepared(prepared);
  // At the pause: the note's end and the pedal's release, then nothing until the resume.
  std::vector<Bytes> paused = sentBetween(rig, 400, 4500);
  ASSERT_EQ(paused.size(), 2u);
  EXPECT_EQ(paused[0], (Bytes{0x80, 0x30, 0x00}));
  EXPECT_EQ(paused[1], (Bytes{0xB0, 0x40, 0x00}));
  // At the resume the pedal goes down again; the next note comes when it was due, held back by
  // the pause; the one after a second later.
  int64_t cut = timeOf(rig, {0x80, 0x30, 0x00}), pedal = timeOf(rig, {0xB0, 0x40, 0x7F}, 1);
  int64_t second = timeOf(rig, {0x90, 0x32, 0x60});
  EXPECT_GE(pedal, 4500);
  EXPECT_EQ(second, timeOf(unpaused, {0x90, 0x32, 0x60}) + (pedal - cut));
  EXPECT_EQ(timeOf(rig, {0x90, 0x34, 0x60}) - second, 1000);
  // The note cut by the pause is not struck again.
  std::vector<Bytes> all = sentBetween(rig, 0, UINT32_MAX);
  EXPECT_EQ(std::count(all.begin(), all.end(), Bytes{0x90, 0x30, 0x60}), 1);
}

TEST(Pause, TakesTheUsersVolumeAndAModuleResetChasesTheStateAtResume) {
  PlayerRig rig;
  rig.options.target = Target::none;
  rig.load(pedalSong());
  int prepared = preparePlayback(rig.engine);
  schedule(rig, {{500, {RequestKind::pause}},
                 {1500, {RequestKind::volume}},
                 {2500, {RequestKind::resetModule}},
                 {3500, {RequestKind::pause}}});
  rig.options.volumeAdd = -10;
  rig.playPrepared(prepared);
  std::vector<Bytes> paused = sentBetween(rig, 1000, 3500);
  // The volumes at once (100 - 10 on every channel), then GM System On; nothing else.
  ASSERT_EQ(paused.size(), 17u);
  EXPECT_EQ(paused[0], (Bytes{0xB0, 0x07, 90}));
  EXPECT_EQ(paused[16], (Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
  // At the resume the module gets the song's state again: a reset (the song has none of its
  // own), then the pedal as the song left it.
  std::vector<Bytes> resumed = sentBetween(rig, 3500, 3800);
  ASSERT_GE(resumed.size(), 2u);
  EXPECT_EQ(resumed[0], (Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
  EXPECT_NE(std::find(resumed.begin(), resumed.end(), Bytes{0xB0, 0x40, 0x7F}), resumed.end());
}

}  // namespace
}  // namespace tessaro::testing
