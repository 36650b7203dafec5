// What the console says of a song: the facts read from its bytes (title, convention, length,
// tempo), the line before it, the words for a failed load, and the status line's text from
// given values.
#include "control/song_facts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/status_line.h"
#include "player/engine.h"
#include "support/smf.h"

namespace tessaro::testing {
namespace {

const Bytes gsReset{0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
const Bytes xgOn{0xF0, 0x08, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};

// A song whose tracks point at the given bytes (nothing to release).
struct StoredSong {
  std::vector<Track> tracks;
  SongData song;
  explicit StoredSong(std::vector<Track> t, int division = 480) : tracks(std::move(t)) {
    song.division = division;
    song.trackCount = static_cast<int32_t>(tracks.size());
    for (size_t i = 0; i < tracks.size(); ++i) {
      song.tracks[i].block = tracks[i].bytes.data();
      song.tracks[i].length = static_cast<int32_t>(tracks[i].bytes.size());
    }
  }
  ~StoredSong() {
    for (TrackData& track : song.tracks) track = TrackData{};
    song.trackCount = 0;
  }
};

Track note(uint32_t at, uint32_t length) {
  Track t;
  t.ev(at, {0x90, 60, 64}).ev(length, {0x80, 60, 0}).end();
  return t;
}

TEST(SongFacts, TitleConventionLengthAndTempoFromTheStoredBytes) {
  struct Row {
    const char* name;
    std::vector<Track> tracks;
    std::string title;
    SongConvention convention;
    int64_t totalMs;
    int32_t tempoAt480;
  };
  std::vector<Row> rows = {
      {"a plain song", {note(0, 960)}, "", SongConvention::undecided, 1000, 500000},
      {"title of the first track",
       {Track().text(0, "Etude\x01 No. 1  ", 0x03).end(), note(0, 10)},
       "Etude  No. 1",
       SongConvention::undecided,
       10,
       500000},
      {"a name in a later track is no title",
       {note(0, 10), Track().text(0, "Bass", 0x03).end()},
       "",
       SongConvention::undecided,
       10,
       500000},
      {"GS reset",
       {Track().raw(0, gsReset).end(), note(0, 480)},
       "",
       SongConvention::gs,
       500,
       500000},
      {"XG System On",
       {Track().raw(0, xgOn).end(), note(0, 480)},
       "",
       SongConvention::xg,
       500,
       500000},
      {"the earlier message decides, whatever its track",
       {Track().raw(100, gsReset).end(), Track().raw(0, xgOn).end()},
       "",
       SongConvention::xg,
       104,
       500000},
      {"a tempo change",
       {Track().tempo(480, 250000).end(480), note(0, 0)},
       "",
       SongConvention::undecided,
       750,
       250000},
      {"tempo events of every track, in time order",
       {note(0, 960), Track().tempo(960, 1000000).tempo(0, 250000).end()},
       "",
       SongConvention::undecided,
       1000,
       500000},
      {"bytes that end inside an event",
       {Track().ev(0, {0x90, 60}).ev(0x7F, {0xF0, 0x7F})},
       "",
       SongConvention::undecided,
       0,
       500000},
      {"running status with nothing to run",
       {Track().ev(0, {0x3C, 0x40}).end(960)},
       "",
       SongConvention::undecided,
       0,
       500000},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    StoredSong stored(row.tracks);
    SongFacts facts = readSongFacts(stored.song);
    EXPECT_EQ(facts.title, row.title);
    EXPECT_EQ(facts.convention, row.convention);
    EXPECT_EQ(tickToMs(facts, facts.endTick), row.totalMs);
    EXPECT_EQ(tempoAt(facts, 480), row.tempoAt480);
  }
}

TEST(SongFacts, TheLineBeforeEachSong) {
  SongFacts gs;
  gs.title = "Title";
  gs.convention = SongConvention::gs;
  SongFacts xg;
  xg.convention = SongConvention::xg;
  SongFacts plain;
  struct Row {
    const SongFacts* facts;
    Target target;
    std::string line;
  } rows[] = {
      {&gs, Target::xg, "[2/5] song.mid  \"Title\"  GS -> XG\n"},
      {&gs, Target::gm, "[2/5] song.mid  \"Title\"  GS -> GM\n"},
      {&gs, Target::none, "[2/5] song.mid  \"Title\"  GS, untranslated\n"},
      {&xg, Target::xg, "[2/5] song.mid  XG\n"},
      {&xg, Target::gm, "[2/5] song.mid  XG -> GM\n"},
      {&plain, Target::xg, "[2/5] song.mid  GM -> XG\n"},
      {nullptr, Target::xg, "[2/5] song.mid\n"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(songHeader(2, 5, "song.mid", row.facts, row.target), row.line);
}

TEST(SongFacts, WhyALoadFailedInWords) {
  using Kind = platform::PathFacts::Kind;
  const platform::PathFacts file{Kind::file, ""};
  struct Row {
    int result;
    int stored;
    platform::PathFacts path;
    std::string words;
  } rows[] = {
      {loadOk, 3, file, ""},
      {loadCannotOpen, 0, {Kind::missing, "no such file"}, "no such file"},
      {loadCannotOpen, 0, {Kind::unreadable, "Permission denied"}, "Permission denied"},
      {loadCannotOpen, 0, file, "cannot be opened"},
      {loadNotSmf, 0, {Kind::directory, "is a directory"}, "is a directory"},
      {loadNotSmf, 0, file, "not a Standard MIDI File"},
      {loadNotSmf, 2, file, "not a Standard MIDI File after track 2"},
      {loadTruncated, 2, file, "ends inside track 3"},
      {loadNoEndOfTrack, 0, file, "track 1 has no End of Track"},
      {loadBadDivision, 0, file, "has a time division of 0"},
      {loadNoMemory, 1, file, "track 2 was not loaded (no memory for it, or declined)"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(loadFailure(row.result, row.stored, row.path), row.words) << row.result;
}

TEST(StatusLine, TextFromTheValuesGiven) {
  StatusValues start;
  StatusValues playing;
  playing.elapsedMs = 83999;
  playing.totalMs = 225000;
  playing.measure = 12;
  playing.beat = 3;
  playing.tempo = 600000;
  playing.speedDivisor = 1062;
  playing.volume = -12;
  playing.repeats = 2;
  playing.action = "vol -12";
  StatusValues odd = playing;
  odd.totalMs = 0;
  odd.tempo = 0;
  odd.repeats = -3;
  odd.elapsedMs = 3600000;
  odd.action = "";
  struct Row {
    const StatusValues* values;
    int columns;
    std::string line;
  } rows[] = {
      {&start, 80, "0:00 / -:--  bar 1:1  120 bpm  speed 100 %  vol +0  repeats 0"},
      {&playing, 120, "1:23 / 3:45  bar 12:3  100 bpm  speed 106 %  vol -12  repeats 2  [vol -12]"},
      {&playing, 21, "1:23 / 3:45  bar 12:"},
      {&odd, 80, "60:00 / -:--  bar 12:3  0 bpm  speed 106 %  vol -12  repeats 0"},
      {&start, 0, ""},
  };
  for (const Row& row : rows) EXPECT_EQ(statusLineText(*row.values, row.columns), row.line);
}

}  // namespace
}  // namespace tessaro::testing
