// What the console says of a song: the facts read from its bytes (title, convention, length,
// tempo), the line before it, the words for a failed load, and the status line's text from
// given values.
#include "control/song_facts.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "control/status_line.h"
#include "player/engine.h"
#include "support/smf.h"

namespace tessaro::testing {
namespace {

const Bytes gsReset{0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
const Bytes xgOn{0xF0, 0x08, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};

Track note(uint32_t length) {
  Track t;
  t.ev(0, {0x90, 60, 64}).ev(length, {0x80, 60, 0}).end();
  return t;
}

TEST(SongFacts, TitleConventionLengthAndTempoFromTheStoredBytes) {
  using C = SongConvention;
  struct Row {
    const char* name;
    std::vector<Track> tracks;
    std::string title;
    SongConvention convention;
    int64_t totalMs;
    int32_t tempoAt480;
  } rows[] = {
      {"a plain song", {note(960)}, "", C::undecided, 1000, 500000},
      {"the first track's name",
       {Track().text(0, "Etude\x01 1  ", 3).end(), note(10)},
       "Etude  1",
       C::undecided,
       10,
       500000},
      {"a later track's name",
       {note(10), Track().text(0, "Bass", 3).end()},
       "",
       C::undecided,
       10,
       500000},
      {"GS reset", {Track().raw(0, gsReset).end(), note(480)}, "", C::gs, 500, 500000},
      {"XG System On", {Track().raw(0, xgOn).end(), note(480)}, "", C::xg, 500, 500000},
      {"the earlier message decides",
       {Track().raw(100, gsReset).end(), Track().raw(0, xgOn).end()},
       "",
       C::xg,
       104,
       500000},
      {"a tempo change", {Track().tempo(480, 250000).end(480)}, "", C::undecided, 750, 250000},
      {"bytes that end inside an event",
       {Track().ev(0, {0x90, 60}).ev(0x7F, {0xF0, 0x7F})},
       "",
       C::undecided,
       0,
       500000},
  };
  for (Row& row : rows) {
    SongData song;  // its tracks point at the rows' bytes, which it does not release
    song.division = 480;
    song.trackCount = static_cast<int32_t>(row.tracks.size());
    for (size_t i = 0; i < row.tracks.size(); ++i)
      song.tracks[i] = {static_cast<int32_t>(row.tracks[i].bytes.size()),
                        row.tracks[i].bytes.data()};
    SongFacts facts = readSongFacts(song);
    EXPECT_EQ(facts.title, row.title) << row.name;
    EXPECT_EQ(facts.convention, row.convention) << row.name;
    EXPECT_EQ(tickToMs(facts, facts.endTick), row.totalMs) << row.name;
    EXPECT_EQ(tempoAt(facts, 480), row.tempoAt480) << row.name;
  }
}

TEST(SongFacts, TheLineBeforeEachSong) {
  SongFacts gs, xg, plain;
  gs.title = "Title";
  gs.convention = SongConvention::gs;
  xg.convention = SongConvention::xg;
  struct Row {
    const SongFacts* facts;
    Target target;
    std::string line;
  } rows[] = {
      {&gs, Target::xg, "[2/5] song.mid  \"Title\"  GS -> XG\n"},
      {&gs, Target::none, "[2/5] song.mid  \"Title\"  GS, untranslated\n"},
      {&xg, Target::xg, "[2/5] song.mid  XG\n"},
      {&plain, Target::xg, "[2/5] song.mid  GM -> XG\n"},
      {nullptr, Target::xg, "[2/5] song.mid\n"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(songHeader(2, 5, "song.mid", row.facts, row.target), row.line);
}

TEST(SongFacts, WhyALoadFailedInWords) {
  using Kind = platform::PathFacts::Kind;
  using File = SongFileKind;
  const platform::PathFacts file{Kind::file, ""};
  struct Row {
    int result;
    int stored;
    platform::PathFacts path;
    std::string words;
    SongFileKind kind = File::regular;
    int64_t bytes = -1;
    int32_t division = 480;
  } rows[] = {
      {loadOk, 3, file, ""},
      {loadCannotOpen, 0, {Kind::missing, "no such file"}, "no such file"},
      {loadNotSmf, 0, {Kind::directory, "is a directory"}, "is a directory"},
      {loadNotSmf, 0, file, "not a Standard MIDI File"},
      {loadNotSmf, 2, file, "not a Standard MIDI File after track 2"},
      {loadTruncated, 2, file, "ends inside track 3"},
      {loadNoEndOfTrack, 0, file, "track 1 has no End of Track"},
      {loadBadDivision, 0, file, "has a time division of 0", File::regular, -1, 0},
      {loadBadDivision, 0, file,
       "has an SMPTE time division that cannot be timed (frame code -23, 40 ticks a frame)",
       File::regular, -1, 0xE928},
      {loadNoMemory, 1, file, "track 2 was not loaded (no memory for it, or declined)"},
      {loadNotAFile, 0, file, "is a FIFO (songs are read from regular files only)", File::fifo},
      {loadNotAFile, 0, file, "is a device (songs are read from regular files only)", File::device},
      {loadNotAFile, 0, file, "is a directory", File::directory},
      {loadTooLarge, 0, file, "is larger than 64 MB (67108865 bytes)", File::regular, 67108865},
  };
  for (const Row& row : rows) {
    SongData song;
    song.failedTrack = row.stored;
    song.fileKind = row.kind;
    song.fileBytes = row.bytes;
    song.division = row.division;
    EXPECT_EQ(loadFailure(row.result, song, row.path), row.words) << row.result;
  }
}

// The times the console shows follow the player's rule: an SMPTE division's ticks are real time
// whatever the tempo (25 x 40 ticks a second; 29.97 x 40 gives 834 us a tick).
TEST(SongFacts, SmpteTicksAreRealTimeWhateverTheTempo) {
  SongFacts facts;
  facts.tempos = {{480, 250000}};
  for (auto [division, tick, ms] : {std::tuple{0xE728, 2000, 2000}, {0xE328, 1200, 1000}}) {
    facts.division = division;
    EXPECT_EQ(tickToMs(facts, tick), ms) << std::hex << division;
  }
}

TEST(StatusLine, TextFromTheValuesGiven) {
  const StatusValues start, playing{83999, 225000, 12, 3, 600000, 1062, -12, 2, "vol -12"},
      odd{3600000, 0, 12, 3, 0, 1062, -12, -3, ""};
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
