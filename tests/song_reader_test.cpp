// Loading a song from disk as a user meets it: which files are taken, which are refused with
// which console line, how many tracks survive a damaged file and that every stored track holds
// exactly the bytes of its chunk.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "player/engine.h"
#include "support/player_stack.h"
#include "support/temp_dir.h"

namespace {

using tessaro::PlayerObserver;
using tessaro::testing::PlayerStack;
using tessaro::testing::VirtualClock;

using Bytes = std::vector<uint8_t>;

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}
Bytes be16(uint32_t v) {
  return {uint8_t(v >> 8), uint8_t(v)};
}
Bytes be32(uint32_t v) {
  return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

Bytes header(int format, int tracks, int division, uint32_t length = 6) {
  return text("MThd") + be32(length) + be16(format) + be16(tracks) + be16(division);
}
Bytes chunk(const std::string& tag, const Bytes& body) {
  return text(tag) + be32(body.size()) + body;
}
Bytes track(const Bytes& body) {
  return chunk("MTrk", body);
}

const Bytes kEnd = {0x00, 0xFF, 0x2F, 0x00};
const Bytes kScale = Bytes{0x00, 0x90, 0x3C, 0x40, 0x60, 0x80, 0x3C, 0x40} + kEnd;
const Bytes kPatch = Bytes{0x00, 0xC1, 0x05} + kEnd;
const Bytes kLyrics = Bytes{0x00, 0xFF, 0x05, 0x02, 'L', 'a'} + kEnd;
const Bytes kOpenNote = {0x00, 0x90, 0x3C, 0x40};
const Bytes kOneTrack = header(0, 1, 96);  // a format 0 header announcing one track

// A track body of length bytes that ends with End of Track.
Bytes longBody(size_t length) {
  Bytes body(length - 3);
  for (size_t i = 0; i < body.size(); ++i) body[i] = uint8_t((i * 7 + 3) & 0x7F);
  return body + Bytes{0xFF, 0x2F, 0x00};
}

class TempFile {
 public:
  explicit TempFile(const Bytes& bytes) {
    dir = tessaro::testing::makeTempDir("song_reader-");
    path = dir + "/song.mid";
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (dir.empty() || !out) ADD_FAILURE() << "cannot write " << path;
  }
  ~TempFile() {
    std::error_code error;
    std::filesystem::remove_all(dir, error);
  }
  std::string dir;
  std::string path;
};

// Answers the large-track question with a chosen key, counting the questions.
struct AnsweringObserver : PlayerObserver {
  int largeTrackAnswer() override {
    ++keyTakes;
    return key;
  }
  int key = 0;
  int keyTakes = 0;
};

struct Rig : PlayerStack<VirtualClock, AnsweringObserver> {
  int& key = observer.key;
  int& keyTakes = observer.keyTakes;
  std::vector<size_t> blockSizes;

  Rig() {
    log.startCapture();
    engine.song.allocate = [this](size_t size) {
      blockSizes.push_back(size);
      return new uint8_t[size];
    };
  }
  int load(const Bytes& file) {
    TempFile temp(file);
    return tessaro::loadSong(engine, temp.path.c_str());
  }
  Bytes stored(int index) const {
    const auto& t = engine.song.tracks[size_t(index)];
    if (t.block == nullptr) return {};
    return Bytes(t.block, t.block + t.length);
  }
  std::vector<Bytes> storedTracks() const {
    std::vector<Bytes> all;
    for (int i = 0; i < engine.song.trackCount; ++i) all.push_back(stored(i));
    return all;
  }
};

// One file in, what the user gets back: the result, the console text and the tracks kept.
struct LoadCase {
  const char* name;
  Bytes file;
  int code;
  std::string console;
  std::vector<Bytes> kept;
};

const LoadCase kLoadCases[] = {
    {"OneTrackSong", kOneTrack + track(kScale), 0, "", {kScale}},
    {"ThreeTrackSong",
     header(1, 3, 480) + track(kScale) + track(kPatch) + track(kLyrics),
     0,
     "",
     {kScale, kPatch, kLyrics}},
    // The four extra header bytes look like a track tag: they must be skipped, not read.
    {"LongHeaderIsSkippedPast",
     header(1, 1, 96, 10) + text("MTrk") + track(kScale),
     0,
     "",
     {kScale}},
    {"WaveFileIsRefused", text("RIFF") + be32(4) + text("WAVE"), -2, "", {}},
    {"EmptyFileIsRefused", {}, -2, "", {}},
    {"TextFileIsRefused", text("not a midi file"), -2, "", {}},
    {"HeaderCutShortIsRefused", text("MThd") + be32(6) + be16(0), -2, "", {}},
    // Said by the load's failure line, which names the song.
    {"ZeroDivisionCannotBeTimed", header(1, 2, 0) + track(kScale) + track(kPatch), -5, "", {}},
    {"SmpteDivisionOfAnUnknownFrameRate", header(0, 1, 0xE928) + track(kScale), -5, "", {}},
    {"SmpteDivisionOfNoTicksAFrame", header(0, 1, 0xE700) + track(kScale), -5, "", {}},
    {"SmpteDivisionIsTimed", header(0, 1, 0xE728) + track(kScale), 0, "", {kScale}},
    {"TrackEndingOnANote",
     kOneTrack + track(kOpenNote),
     -3,
     "End of Track undetected.(90:3C:40)\n",
     {}},
    {"PadByteAfterEndOfTrack",
     kOneTrack + track(kScale + Bytes{0x00}),
     0,
     "",
     {kScale + Bytes{0x00}}},
    {"FirstOfLastThreeIsFF",
     kOneTrack + track({0x00, 0xFF, 0x01, 0x02}),
     0,
     "",
     {{0x00, 0xFF, 0x01, 0x02}}},
    {"MiddleOfLastThreeIs2F", kOneTrack + track({0x01, 0x2F, 0x02}), 0, "", {{0x01, 0x2F, 0x02}}},
    {"LastByteIsZero", kOneTrack + track({0x01, 0x02, 0x00}), 0, "", {{0x01, 0x02, 0x00}}},
    {"NoneOfLastThreeMatch",
     kOneTrack + track({0x2F, 0x00, 0xFF}),
     -3,
     "End of Track undetected.(2F:00:FF)\n",
     {}},
    {"EmptyTrack", kOneTrack + track({}), -3, "End of Track undetected.(FE:FE:FE)\n", {}},
    {"OneByteTrack", kOneTrack + track({0x2F}), -3, "End of Track undetected.(FE:FE:2F)\n", {}},
    {"SecondTrackEndingOnANote",
     header(1, 3, 96) + track(kScale) + track(kOpenNote) + track(kPatch),
     -3,
     "End of Track undetected.(90:3C:40)\n",
     {kScale}},
    {"FileEndsInsideTrack",
     kOneTrack + text("MTrk") + be32(12) + Bytes{0x00, 0x90},
     -4,
     "",
     {{0x00, 0x90}}},
    {"FileEndsInsideThirdTrack",
     header(1, 3, 96) + track(kScale) + track(kPatch) + text("MTrk") + be32(40) + kLyrics,
     -4,
     "",
     {kScale, kPatch, kLyrics}},
    {"FileEndsAfterTrackTag", kOneTrack + text("MTrk"), -4, "", {}},
    {"FileEndsInsideLengthWord",
     header(1, 2, 96) + track(kScale) + text("MTrk") + Bytes{0x00},
     -4,
     "",
     {kScale}},
    {"LengthLargerThanAnyFile", kOneTrack + text("MTrk") + be32(0x80000000u) + kScale, -4, "", {}},
    {"TrackMissingAtEndOfFile", header(1, 2, 96) + track(kScale), -2, "", {kScale}},
    {"BrokenTagWhereTrackExpected",
     header(1, 2, 96) + track(kScale) + chunk("MT\x01k", kPatch),
     -2,
     "",
     {kScale}},
    {"ForeignChunkIsSkipped",
     header(1, 2, 96) + track(kScale) + chunk("Junk", text("not a track")) + track(kPatch),
     0,
     "",
     {kScale, kPatch}},
    {"ForeignChunkIsNoTrack", header(1, 1, 96) + chunk("Junk", kScale), -2, "", {}},
    {"TrailingBytesAreIgnored", kOneTrack + track(kScale) + Bytes{0x2A, 0x00}, 0, "", {kScale}},
    {"KaraokeChunkBecomesATrack",
     kOneTrack + track(kScale) + chunk("XFIH", text("info")) + chunk("XFKM", kLyrics),
     0,
     "",
     {kScale, kLyrics}},
    {"KaraokeWithWrongInfoTag",
     kOneTrack + track(kScale) + chunk("XFIX", text("info")) + chunk("XFKM", kLyrics),
     -2,
     "",
     {kScale}},
    {"KaraokeWithWrongLyricsTag",
     kOneTrack + track(kScale) + chunk("XFIH", text("info")) + chunk("XFKX", kLyrics),
     -2,
     "",
     {kScale}},
    {"KaraokeChunkEndingOnANote",
     kOneTrack + track(kScale) + chunk("XFIH", {}) + chunk("XFKM", kOpenNote),
     -3,
     "End of Track undetected.(90:3C:40)\n",
     {kScale}},
    {"KaraokeChunkCutShort",
     kOneTrack + track(kScale) + chunk("XFIH", {}) + text("XFKM") + be32(30) + kLyrics,
     -4,
     "",
     {kScale, kLyrics}},
};

void PrintTo(const LoadCase& c, std::ostream* os) {
  *os << c.name;
}

class SongFile : public ::testing::TestWithParam<LoadCase> {};

TEST_P(SongFile, LoadsWithExpectedOutcome) {
  const LoadCase& c = GetParam();
  Rig rig;
  EXPECT_EQ(rig.load(c.file), c.code);
  EXPECT_EQ(rig.log.captured(), c.console);
  EXPECT_EQ(rig.engine.song.trackCount, int(c.kept.size()));
  EXPECT_EQ(rig.storedTracks(), c.kept);
  // The block of a track that failed is given back; every kept block holds its track.
  EXPECT_EQ(rig.engine.song.allocationStack.size(), c.kept.size());
  for (size_t i = 0; i < c.kept.size() && i < rig.blockSizes.size(); ++i) {
    EXPECT_GE(rig.blockSizes[i], c.kept[i].size());
    EXPECT_EQ(rig.blockSizes[i] % 16, 0u);
  }
  EXPECT_EQ(rig.keyTakes, 0);
}

INSTANTIATE_TEST_SUITE_P(Files, SongFile, ::testing::ValuesIn(kLoadCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SongReader, HeaderValuesAreKeptAndEachTrackPausesFiftyMs) {
  Rig rig;
  ASSERT_EQ(
      rig.load(header(1, 3, 0xE728, 10) + be32(0) + track(kScale) + track(kPatch) + track(kLyrics)),
      0);
  const auto& song = rig.engine.song;
  EXPECT_EQ(song.headerLength, 10);
  EXPECT_EQ(song.format, 1);
  EXPECT_EQ(song.trackCount, 3);
  EXPECT_EQ(song.division, 0xE728);
  EXPECT_EQ(rig.clock.sleeps, (std::vector<int32_t>{50, 50, 50}));
  EXPECT_EQ(rig.log.captured(), "");
}

TEST(SongReader, MissingFileIsNamed) {
  Rig rig;
  std::string path = ::testing::TempDir() + "no-such-song.mid";
  EXPECT_EQ(tessaro::loadSong(rig.engine, path.c_str()), -1);
  EXPECT_EQ(rig.log.captured(), "Cannot open (RD) : " + path + "\n");
  EXPECT_EQ(rig.engine.song.trackCount, 0);
}

// Only a regular file of at most 64 MB is read: anything else is refused before it is opened,
// with nothing said on the console (the failure line names it) and no track taken. (A FIFO and
// a device, which only the Linux build can make here, are refused end to end: inputs_e2e_test.)
TEST(SongReader, SongsAreReadFromRegularFilesOfAtMost64MbOnly) {
  using Kind = tessaro::SongFileKind;
  TempFile song(kOneTrack + track(kScale));
  const std::string large = song.dir + "/large.mid";
  std::ofstream(large, std::ios::binary) << "MThd";
  std::filesystem::resize_file(large, 64 * 1024 * 1024 + 1);
  const std::string largest = song.dir + "/largest.mid";
  std::filesystem::copy_file(song.path, largest);
  std::filesystem::resize_file(largest, 64 * 1024 * 1024);  // the song, then zeros
  struct Row {
    std::string path;
    int code;
    Kind kind;
    int64_t bytes;
  } rows[] = {
      {song.dir, tessaro::loadNotAFile, Kind::directory, -1},
      {large, tessaro::loadTooLarge, Kind::regular, 64 * 1024 * 1024 + 1},
      {largest, tessaro::loadOk, Kind::regular, 64 * 1024 * 1024},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    Rig rig;
    EXPECT_EQ(tessaro::loadSong(rig.engine, row.path.c_str()), row.code);
    EXPECT_EQ(rig.engine.song.fileKind, row.kind);
    EXPECT_EQ(rig.engine.song.fileBytes, row.bytes);
    EXPECT_EQ(rig.engine.song.trackCount, row.code == tessaro::loadOk ? 1 : 0);
    EXPECT_EQ(rig.log.captured(), "");
  }
}

// A track's length word is never trusted beyond the file: a length of 2 GB in a small file
// takes a block the size of what is left, and the load says the file ends inside the track.
TEST(SongReader, ATrackLengthBeyondTheFileTakesNoMoreThanTheFile) {
  Rig rig;
  EXPECT_EQ(rig.load(kOneTrack + text("MTrk") + be32(0x7FFFFFF0u) + kScale),
            tessaro::loadTruncated);
  ASSERT_EQ(rig.blockSizes.size(), 1u);
  EXPECT_LE(rig.blockSizes[0], 32u);
  EXPECT_EQ(rig.storedTracks(), std::vector<Bytes>{kScale});
}

Bytes numberedTracks(int count) {
  Bytes all;
  for (int i = 0; i < count; ++i)
    all = all + track(Bytes{0x00, 0xB0, 0x07, uint8_t(i & 0x7F)} + kEnd);
  return all;
}

TEST(SongReader, SongOfMoreThan128TracksKeepsTheFirst128) {
  Rig rig;
  EXPECT_EQ(rig.load(header(1, 200, 96) + numberedTracks(200)), 0);
  EXPECT_EQ(rig.log.captured(), "Cannot read tracks more than 128 (this file 200).\n");
  EXPECT_EQ(rig.engine.song.trackCount, 128);
  EXPECT_EQ(rig.stored(0), (Bytes{0x00, 0xB0, 0x07, 0x00} + kEnd));
  EXPECT_EQ(rig.stored(127), (Bytes{0x00, 0xB0, 0x07, 0x7F} + kEnd));
  EXPECT_EQ(rig.clock.sleeps, std::vector<int32_t>(128, 50));
  EXPECT_EQ(tessaro::freeSong(rig.engine), 0);
  EXPECT_TRUE(rig.engine.song.allocationStack.empty());
}

TEST(SongReader, KaraokeChunkFitsAfter128Tracks) {
  Rig rig;
  EXPECT_EQ(rig.load(header(1, 128, 96) + numberedTracks(128) + chunk("XFIH", text("i")) +
                     chunk("XFKM", kLyrics)),
            0);
  EXPECT_EQ(rig.log.captured(), "");
  EXPECT_EQ(rig.engine.song.trackCount, 129);
  EXPECT_EQ(rig.stored(128), kLyrics);
  EXPECT_EQ(tessaro::freeSong(rig.engine), 0);
  EXPECT_EQ(rig.log.captured(), "");
}

// A track over 64 KB asks the user first in a format 1 file (and for a karaoke chunk).
struct LargeCase {
  const char* name;
  int format;
  size_t length;
  bool karaoke;
  int key;
  int code;
  std::string console;
};

const std::string kAskFor70000 = "Are you sure to get over 64kB (1118) segments? ";

const LargeCase kLargeCases[] = {
    {"Format1AnsweredYes", 1, 70000, false, 'y', 0, kAskFor70000 + "\n"},
    {"Format1NoKeyGoesOn", 1, 70000, false, 0, 0, kAskFor70000 + "\n"},
    {"Format1EscCancels", 1, 70000, false, 27, 90, kAskFor70000},
    {"Format1Exactly4096UnitsAsksNothing", 1, 65520, false, 27, 0, ""},
    {"Format1Of4097UnitsAsks", 1, 65536, false, 27, 90,
     "Are you sure to get over 64kB (1001) segments? "},
    {"Format0NeverAsks", 0, 100000, false, 27, 0, ""},
    {"Format2NeverAsks", 2, 100000, false, 27, 0, ""},
    {"KaraokeChunkAsksInFormat0", 0, 70000, true, 'y', 0, kAskFor70000 + "\n"},
    {"KaraokeChunkEscCancels", 0, 70000, true, 27, 90, kAskFor70000},
    {"SmallKaraokeChunkAsksNothing", 0, 65520, true, 27, 0, ""},
};

void PrintTo(const LargeCase& c, std::ostream* os) {
  *os << c.name;
}

class LargeTrack : public ::testing::TestWithParam<LargeCase> {};

TEST_P(LargeTrack, AsksBeforeTakingTheMemory) {
  const LargeCase& c = GetParam();
  Rig rig;
  rig.key = c.key;
  Bytes body = longBody(c.length);
  Bytes file =
      c.karaoke ? header(c.format, 1, 96) + track(kScale) + chunk("XFIH", {}) + chunk("XFKM", body)
                : header(c.format, 1, 96) + track(body);
  EXPECT_EQ(rig.load(file), c.code);
  EXPECT_EQ(rig.log.captured(), c.console);
  EXPECT_EQ(rig.keyTakes, c.console.empty() ? 0 : 1);
  std::vector<Bytes> kept;
  if (c.karaoke) kept.push_back(kScale);
  if (c.code == 0) kept.push_back(body);
  EXPECT_EQ(rig.engine.song.trackCount, int(kept.size()));
  EXPECT_TRUE(rig.storedTracks() == kept);
  EXPECT_EQ(rig.engine.song.allocationStack.size(), kept.size());
}

INSTANTIATE_TEST_SUITE_P(Songs, LargeTrack, ::testing::ValuesIn(kLargeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SongReader, NoMemoryForTheFirstTrack) {
  Rig rig;
  rig.engine.song.allocate = [](size_t) { return static_cast<uint8_t*>(nullptr); };
  EXPECT_EQ(rig.load(header(1, 2, 96) + track(kScale) + track(kPatch)), 90);
  EXPECT_EQ(rig.log.captured(), "memory getting failed.\n");
  EXPECT_EQ(rig.engine.song.trackCount, 0);
  EXPECT_EQ(rig.clock.sleeps, std::vector<int32_t>{50});
}

TEST(SongReader, NoMemoryForTheThirdTrackKeepsTheFirstTwo) {
  Rig rig;
  int calls = 0;
  rig.engine.song.allocate = [&calls](size_t size) {
    return ++calls == 3 ? nullptr : new uint8_t[size];
  };
  EXPECT_EQ(rig.load(header(1, 3, 96) + track(kScale) + track(kPatch) + track(kLyrics)), 90);
  EXPECT_EQ(rig.log.captured(), "memory getting failed.\n");
  EXPECT_EQ(rig.storedTracks(), (std::vector<Bytes>{kScale, kPatch}));
  EXPECT_EQ(rig.engine.song.allocationStack.size(), 2u);
}

TEST(SongReader, FreeingTwiceSaysTheMemoryIsGone) {
  Rig rig;
  ASSERT_EQ(rig.load(header(1, 2, 96) + track(kScale) + track(kPatch)), 0);
  EXPECT_EQ(tessaro::freeSong(rig.engine), 0);
  EXPECT_EQ(rig.engine.song.trackCount, 0);
  EXPECT_TRUE(rig.engine.song.allocationStack.empty());
  EXPECT_EQ(rig.engine.song.tracks[0].block, nullptr);
  EXPECT_EQ(rig.log.captured(), "");
  EXPECT_EQ(tessaro::freeSong(rig.engine), 1);
  EXPECT_EQ(rig.log.captured(), "Data Memory Already Deleted.\n");
}

TEST(SongReader, NextSongReplacesThePreviousOne) {
  Rig rig;
  ASSERT_EQ(rig.load(header(1, 3, 96) + track(kScale) + track(kPatch) + track(kLyrics)), 0);
  ASSERT_EQ(rig.load(header(0, 1, 48) + track(kPatch)), 0);
  EXPECT_EQ(rig.storedTracks(), std::vector<Bytes>{kPatch});
  EXPECT_EQ(rig.engine.song.division, 48);
  EXPECT_EQ(rig.engine.song.tracks[1].block, nullptr);
  EXPECT_EQ(rig.engine.song.allocationStack.size(), 1u);
  EXPECT_EQ(rig.log.captured(), "");

  // A song that cannot be opened still lets the previous one go.
  std::string path = ::testing::TempDir() + "no-such-song.mid";
  EXPECT_EQ(tessaro::loadSong(rig.engine, path.c_str()), -1);
  EXPECT_EQ(rig.engine.song.trackCount, 0);
  EXPECT_TRUE(rig.engine.song.allocationStack.empty());
  EXPECT_EQ(rig.log.captured(), "Cannot open (RD) : " + path + "\n");
}

TEST(PublicSongs, EveryFileLoadsOrFailsCleanly) {
  const std::filesystem::path dir = std::filesystem::path(TESSARO_CORPUS_DIR) / "jazz-soft";
  if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no song collection at " << dir;
  // The damaged and odd files: result, tracks kept and the first track's length; every other
  // song loads whole.
  struct Outcome {
    int code;
    int tracks;
    int firstLength;
  };
  const std::map<std::string, Outcome> special = {
      {"test-not-a-midi-file.mid", {-2, 0, 0}},
      {"test-empty-file.mid", {-2, 0, 0}},
      {"test-non-midi-track.mid", {0, 1, 0x1B7}},  // the "Junk" chunk before it is passed over
      {"test-corrupt-file-missing-byte.mid", {-4, 1, 0xF5}},  // all but its last byte
      {"test-corrupt-file-extra-byte.mid", {0, 1, 0xFD}},     // the byte after it is ignored
  };
  int songs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".mid") continue;
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    ++songs;
    Rig rig;
    int code = tessaro::loadSong(rig.engine, entry.path().string().c_str());
    auto it = special.find(name);
    if (it != special.end()) {
      EXPECT_EQ(code, it->second.code);
      EXPECT_EQ(rig.engine.song.trackCount, it->second.tracks);
      EXPECT_EQ(rig.engine.song.failedTrack, 0);  // each fails in its first track
      if (it->second.tracks > 0) {
        Bytes first = rig.stored(0);
        EXPECT_EQ(int(first.size()), it->second.firstLength);
        // A track cut short by the file's end lacks its End of Track.
        EXPECT_EQ(Bytes(first.end() - 3, first.end()) == (Bytes{0xFF, 0x2F, 0x00}), code == 0);
      }
    } else {
      EXPECT_EQ(code, 0);
      EXPECT_GT(rig.engine.song.trackCount, 0);
    }
    EXPECT_EQ(rig.engine.song.allocationStack.size(), size_t(rig.engine.song.trackCount));
    EXPECT_EQ(rig.log.captured(), "");
    EXPECT_EQ(rig.keyTakes, 0);
    if (rig.engine.song.trackCount > 0) {
      EXPECT_EQ(tessaro::freeSong(rig.engine), 0);
    }
  }
  EXPECT_GE(songs, 70);
}

}  // namespace
