// Offline conversion: which files a request writes, how the wire becomes track events, how
// parts follow each other, a batch that meets a bad song or an output it cannot write, and the
// progress text.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "render/conversion.h"
#include "render/progress.h"
#include "support/app_rig.h"
#include "support/small_disk.h"
#include "support/smf_reader.h"
#include "support/temp_dir.h"

namespace tessaro::testing {
namespace {

namespace fs = std::filesystem;

// A renderer that lists what it is asked; a ring-out lasts 20000 frames.
class FakeRenderer : public platform::AudioRenderer {
 public:
  explicit FakeRenderer(std::string& calls) : calls_(calls) {}
  void play(uint64_t frame, const uint8_t*, size_t count) override {
    calls_ += "play " + std::to_string(frame) + "+" + std::to_string(count) + "; ";
  }
  void ringOut(uint64_t frame, uint64_t maxFrames) override {
    calls_ += "ring " + std::to_string(frame) + " max " + std::to_string(maxFrames) + "; ";
    frames_ = frame + 20000;
  }
  uint64_t frames() const override { return frames_; }
  bool finish(std::string&) override { return true; }

 private:
  std::string& calls_;
  uint64_t frames_ = 0;
};

std::string corpus(const char* name) {
  return std::string(TESSARO_CORPUS_DIR) + "/jazz-soft/" + name;
}

TEST(ConversionPlan, FilesAreNamedAfterTheSongsOrJoined) {
  const std::string existing = makeTempDir("tessaro-plan-");
  for (const char* name : {"song.mid", "a.mid", "a.xg.mid", "x.xg.mid"})
    std::ofstream(existing + "/" + name) << "MThd";
  fs::create_symlink(existing + "/song.mid", existing + "/link.mid");
  const std::string types = " cannot be written here (the types written: .mid)";
  struct Row {
    std::vector<std::string> songs;
    std::string output;
    std::string files;  // path:songs ("!" when it is skipped), "|" between files; or the problem
    Target target = Target::xg;
    int32_t jobs = 0;
    std::string type = "";  // -T
    bool noClobber = false;
  } rows[] = {
      {{"a/x.mid"}, "out/", "out/x.xg.mid:0"},
      {{"a/x.mid", "b/x.MID", "y"},
       "out/",
       "out/x.gm.mid:0|out/x-2.gm.mid:1|out/y.gm.mid:2",
       Target::gm},
      {{"x.mid"}, "out/*.MID", "out/x.nc.mid:0", Target::none},
      {{"x.mid"}, "*.mid", "./x.xg.mid:0"},
      {{"x.mid"}, existing, existing + "/x.xg.mid:0"},
      {{"x.mid", "y.mid"}, "all.mid", "all.mid:01"},
      {{"x.mid"}, "out.wav", "out.wav: the type .wav" + types},
      {{"x.mid"}, "out", "out: no extension" + types},
      {{"x.mid"}, "out", "out:0", Target::xg, 0, "MID"},
      {{"x.mid"}, "out.mid", "out.mid:0", Target::xg, 0, "wav"},
      {{"x.mid"}, "-", "-:0"},
      {{"x.mid"}, "-", "-: the type .ogg" + types, Target::xg, 0, "ogg"},
      {{"x.mid", "y.mid"},
       existing + "/",
       existing + "/x.xg.mid:0!|" + existing + "/y.xg.mid:1",
       Target::xg,
       0,
       "",
       true},
      {{"x.mid"}, "", "-o: needs the name of a file or a directory to write"},
      {{"x.mid"},
       "out/",
       "-j: needs a number: how many songs to convert at once (0: one per core)",
       Target::xg,
       -1},
      {{}, "out/", "no song to convert: name the MIDI files after the options"},
      {{"a.mid", existing + "/song.mid"},
       existing + "/./song.mid",
       existing + "/./song.mid: is one of the songs (" + existing +
           "/song.mid): it would be written over"},
      {{existing + "/a.mid",
        existing + "/../" + fs::path(existing).filename().string() + "/a.xg.mid"},
       existing + "/",
       existing + "/a.xg.mid: is one of the songs (" + existing + "/../" +
           fs::path(existing).filename().string() + "/a.xg.mid): it would be written over"},
      {{existing + "/song.mid"},
       existing + "/link.mid",
       existing + "/link.mid: is one of the songs (" + existing +
           "/song.mid): it would be written over"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.output + " " + row.type);
    render::ConversionTask task;
    task.songs = row.songs;
    task.output = row.output;
    task.jobs = row.jobs;
    task.type = row.type;
    task.noClobber = row.noClobber;
    task.settings.target = row.target;
    render::ConversionPlan plan = render::planConversion(task, nullptr);
    std::string files = plan.problem;
    for (const render::PlannedFile& file : plan.files) {
      files += (files.empty() ? "" : "|") + file.path + ":";
      for (size_t song : file.songs) files += std::to_string(song);
      if (file.skip) files += "!";
    }
    EXPECT_EQ(files, row.files);
  }
  fs::remove_all(existing);
}

TEST(MidiFileOutput, EachWriteBecomesATrackEvent) {
  struct Write {
    uint32_t ms;
    int text;  // the meta type of a text event; 0 for a write on the wire
    Bytes bytes;
  };
  struct Row {
    const char* name;
    std::vector<Write> writes;
    Bytes events;  // the track after its tempo
  } rows[] = {
      {"channel message, then one in running status",
       {{0, 0, {0x90, 0x3C, 0x64}}, {5, 0, {0x3E, 0x64}}},
       {0, 0x90, 0x3C, 0x64, 5, 0x3E, 0x64}},
      {"a text event ends the file's running status",
       {{0, 0, {0x90, 0x3C, 0x64}}, {2, 5, {'l', 'a'}}, {3, 0, {0x3E, 0x64}}},
       {0, 0x90, 0x3C, 0x64, 2, 0xFF, 5, 2, 'l', 'a', 1, 0x90, 0x3E, 0x64}},
      {"a status the wire repeats stays written",
       {{0, 0, {0xB0, 7, 100}}, {0, 0, {0xB0, 7, 90}}},
       {0, 0xB0, 7, 100, 0, 0xB0, 7, 90}},
      {"system exclusive whole",
       {{0, 0, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}}},
       {0, 0xF0, 5, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},
      {"direct byte, then running status on the line from it",
       {{0, 0, {0x90}}, {1, 0, {0x3C, 0x64}}},
       {0, 0xF7, 1, 0x90, 1, 0x90, 0x3C, 0x64}},
      {"system common as an escape; program change as it stands; a long delta",
       {{0, 0, {0xF2, 1, 2}}, {200, 0, {0xC5, 0x10}}},
       {0, 0xF7, 3, 0xF2, 1, 2, 0x81, 0x48, 0xC5, 0x10}},
      {"an escape event's bytes as the line took them",
       {{0, 0, {0xF7, 0x90, 0x3C}}},
       {0, 0xF7, 3, 0xF7, 0x90, 0x3C}},
  };
  const std::string path = makeTempDir("tessaro-track-") + "/track.mid";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::FILE* stream = std::fopen(path.c_str(), "wb");
    render::MidiFileOutput file(stream);
    for (const Write& w : row.writes) {
      if (w.text == 0) file.wire(1000 + w.ms, w.bytes.data(), w.bytes.size());
      if (w.text != 0) file.text(1000 + w.ms, w.text, w.bytes.data(), w.bytes.size());
    }
    std::string problem;
    ASSERT_TRUE(file.finish(problem)) << problem;
    std::fclose(stream);
    std::ifstream in(path, std::ios::binary);
    Bytes written{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // After the header (22 bytes) and the tempo (7), before the End of Track (4).
    EXPECT_EQ(Bytes(written.begin() + 29, written.end() - 4), row.events);
  }
  fs::remove_all(fs::path(path).parent_path());
}

// An audio part follows the one before after its ring-out (the MIDI file's settleMs gap is in
// DirectBytesAndTextEventsAtTheirTimes), whatever time passed on the session's clock between
// them; a message goes at the frame of its millisecond.
TEST(Output, AudioPartsFollowEachOtherAfterTheRingOut) {
  const uint8_t note[] = {0x90, 0x3C, 0x64};
  std::string calls;
  render::AudioFileOutput out(std::make_unique<FakeRenderer>(calls), 44100);
  out.wire(5000, note, 1);
  out.wire(5010, note, 3);
  out.endPart();
  out.wire(90000, note, 3);
  out.wire(90005, note, 3);
  EXPECT_EQ(out.partLength(), 5u);
  out.endPart();
  EXPECT_EQ(calls,
            "play 0+1; play 441+3; ring 441 max 88200; play 20462+3; play 20682+3; "
            "ring 20682 max 88200; ");
}

// A conversion run in-process on real files, with a terminal of the test's choosing on
// standard error and a stop request when the test says.
struct BatchRun {
  std::string dir = makeTempDir("tessaro-batch-");
  VirtualClock wall;
  SystemOutputFiles outputs;
  Log log;
  int columns = 0;  // the terminal's width on standard error; 0 none
  bool interrupt = false;
  BatchRun() { log.startCapture(); }
  ~BatchRun() { fs::remove_all(dir); }
  int run(const std::vector<std::string>& songs, const std::string& output,
          render::ConversionTask task = {}) {
    task.songs = songs;
    task.output = output;
    task.jobs = std::max(task.jobs, 1);
    render::ConversionContext context{outputs, nullptr, wall, log};
    context.interrupted = [this] { return interrupt; };
    context.progressColumns = [this] { return columns; };
    return render::runConversion(task, context);
  }
  // The names in the directory, sorted: what the run left behind, temporary files included.
  std::vector<std::string> names(const std::string& where = "") const {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(where.empty() ? dir : where))
      found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
  }
  // What the output stream got (the error stream's lines taken out).
  std::string lines() const {
    std::string all = log.captured();
    for (size_t at; (at = all.find("tessaro: ")) != std::string::npos;)
      all.erase(at, all.find('\n', at) - at + 1);
    return all;
  }
};

std::string contentOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Conversion, BatchGoesOnPastASongThatFails) {
  const std::vector<std::string> songs = {corpus("test-c-major-scale.mid"),
                                          corpus("test-not-a-midi-file.mid"),
                                          corpus("test-vlq-2-byte.mid")};
  const std::string failure =
      "tessaro: " + songs[1] + ": not converted: not a Standard MIDI File\n";
  struct Row {
    const char* output;
    int columns;
    std::vector<std::string> files;
    int notesOn;  // in the joined file
  } rows[] = {
      {"/", 0, {"test-c-major-scale.xg.mid", "test-vlq-2-byte.xg.mid"}, 0},
      {"/", 200, {"test-c-major-scale.xg.mid", "test-vlq-2-byte.xg.mid"}, 0},
      {"/all.mid", 0, {"all.mid"}, 8 + 8},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.output) + (row.columns > 0 ? " on a terminal" : ""));
    BatchRun batch;
    batch.columns = row.columns;
    EXPECT_EQ(batch.run(songs, batch.dir + row.output), render::someFailed);
    EXPECT_EQ(batch.names(), row.files);
    std::string out = batch.log.captured();
    EXPECT_NE(batch.log.capturedErrors().find(failure), std::string::npos) << out;
    EXPECT_NE(out.find("2 of 3 songs converted: 0:08 of music in 0.00 s; 1 failed\n"),
              std::string::npos)
        << out;
    // Plain lines name each song converted; a terminal gets the bar instead.
    EXPECT_EQ(out.find("[1/3] " + songs[0] + " -> ") != std::string::npos, row.columns == 0);
    EXPECT_EQ(out.find("\r[########################]  3/3") != std::string::npos, row.columns > 0);
    if (row.notesOn == 0) continue;
    int notesOn = 0;
    for (const FileEvent& e : readMidiFile(batch.dir + row.output).wire())
      notesOn += (e.bytes[0] & 0xF0) == 0x90 && e.bytes[2] > 0;
    EXPECT_EQ(notesOn, row.notesOn);
  }
}

// An output that cannot be written at all is a failure (status 1), said before any song.
TEST(Conversion, OutputThatCannotBeWrittenIsSaidInPlainWords) {
  const struct Row {
    const char* output;
    const char* said;
  } rows[] = {
      {"/proc/tessaro/", "tessaro: /proc/tessaro/: cannot make the directory: "},
      {"/proc/out.mid", "tessaro: /proc/out.mid: cannot write: "},
      {"/dev/null/out.mid", "tessaro: /dev/null/out.mid: cannot write: Not a directory\n"},
      {"/dev/null/*.mid", "tessaro: /dev/null: cannot make the directory: "},
  };
  for (const Row& row : rows) {
    BatchRun batch;
    EXPECT_EQ(batch.run({corpus("test-c-major-scale.mid")}, row.output), render::someFailed);
    EXPECT_EQ(batch.log.captured().rfind(row.said, 0), 0u) << batch.log.captured();
  }
}

// Whatever ends a conversion early, a file that was at an output's name stays as it was and
// no temporary file is left.
TEST(Conversion, AFileIsReplacedOnlyByACompleteOne) {
  const std::string good = corpus("test-c-major-scale.mid");
  const std::string bad = corpus("test-not-a-midi-file.mid");
  const struct Row {
    const char* name;
    std::vector<std::string> songs;
    const char* output;
    bool interrupt;
    int status;
    const char* summary;
  } rows[] = {
      {"a joined file of songs that all fail",
       {bad},
       "old.mid",
       false,
       render::someFailed,
       "0 of 1 songs converted"},
      {"a song's file that fails", {bad}, "old.mid", false, render::someFailed, "0 of 1"},
      {"a joined file stopped",
       {good, good},
       "old.mid",
       true,
       render::stopped,
       "Stopped: 0 of 2 songs converted"},
      {"songs' files stopped", {good, good}, "", true, render::stopped, "Stopped: 0 of 2"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    BatchRun batch;
    batch.interrupt = row.interrupt;
    std::vector<std::string> songs = row.songs;
    // A song's own file: named after the song, in the output directory.
    const std::string old =
        batch.dir + "/" + (*row.output != 0 ? row.output : "test-c-major-scale.xg.mid");
    if (*row.output == 0) std::ofstream(batch.dir + "/test-not-a-midi-file.xg.mid") << "old";
    std::ofstream(old) << "old";
    const std::vector<std::string> before = batch.names();
    const std::string output = *row.output != 0 ? old : batch.dir + "/";
    EXPECT_EQ(batch.run(songs, output), row.status);
    EXPECT_EQ(contentOf(old), "old");
    EXPECT_EQ(batch.names(), before);
    EXPECT_NE(batch.log.captured().find(row.summary), std::string::npos) << batch.log.captured();
  }
}

TEST(Conversion, NoClobberSkipsTheSongsWhoseFilesExist) {
  BatchRun batch;
  const std::vector<std::string> songs = {corpus("test-c-major-scale.mid"),
                                          corpus("test-vlq-2-byte.mid")};
  std::ofstream(batch.dir + "/test-c-major-scale.xg.mid") << "old";
  render::ConversionTask task;
  task.noClobber = true;
  EXPECT_EQ(batch.run(songs, batch.dir + "/", task), render::allConverted);
  EXPECT_EQ(contentOf(batch.dir + "/test-c-major-scale.xg.mid"), "old");
  EXPECT_EQ(readMidiFile(batch.dir + "/test-vlq-2-byte.xg.mid").problem, "");
  EXPECT_EQ(batch.lines(),
            "[1/2] " + songs[0] + ": skipped: " + batch.dir +
                "/test-c-major-scale.xg.mid exists\n"
                "[2/2] " +
                songs[1] + " -> " + batch.dir +
                "/test-vlq-2-byte.xg.mid (0:04)\n"
                "1 of 2 songs converted: 0:04 of music in 0.00 s; 1 skipped (their files exist)\n");
}

// Quiet: nothing on the output stream, the errors still said.
TEST(Conversion, QuietSaysOnlyWhatWentWrong) {
  BatchRun batch;
  render::ConversionTask task;
  task.quiet = true;
  batch.columns = 80;
  const std::string bad = corpus("test-not-a-midi-file.mid");
  EXPECT_EQ(batch.run({corpus("test-c-major-scale.mid"), bad}, batch.dir + "/", task),
            render::someFailed);
  EXPECT_EQ(batch.log.captured(),
            "tessaro: " + bad + ": not converted: not a Standard MIDI File\n");
}

// A full disk: the song fails, its file is not replaced, and the run ends with status 1.
TEST(Conversion, AFullDiskFailsTheSongsAndKeepsTheOldFiles) {
  const std::string song = corpus("test-c-major-scale.mid");
  const struct Row {
    const char* output;
    const char* said;
  } rows[] = {
      {"/",
       "tessaro: "
       "SONG: not converted: DISK/test-c-major-scale.xg.mid: cannot write: "
       "No space left on device\n"},
      {"/test-c-major-scale.xg.mid",
       "tessaro: DISK/test-c-major-scale.xg.mid: cannot write: No space left on device\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.output);
    SmallDisk disk;
    if (!disk.mounted()) GTEST_SKIP() << disk.reason();
    disk.put("test-c-major-scale.xg.mid", "old");
    disk.fill();
    BatchRun batch;
    EXPECT_EQ(batch.run({song, song}, disk.path() + row.output), render::someFailed);
    EXPECT_EQ(contentOf(disk.path() + "/test-c-major-scale.xg.mid"), "old");
    EXPECT_EQ(batch.names(disk.path()),
              (std::vector<std::string>{"filler", "test-c-major-scale.xg.mid"}));
    std::string said = row.said;
    said.replace(said.find("DISK"), 4, disk.path());
    if (size_t at = said.find("SONG"); at != std::string::npos) said.replace(at, 4, song);
    EXPECT_NE(batch.log.capturedErrors().find(said), std::string::npos) << batch.log.captured();
    EXPECT_NE(batch.log.captured().find("0 of 2 songs converted"), std::string::npos);
  }
}

// Through the program: the direct bytes as a part of their own, the song settleMs after them,
// its text events at their milliseconds.
TEST(Conversion, DirectBytesAndTextEventsAtTheirTimes) {
  Track track;
  track.text(0, "Title", 0x03).ev(0, {0x90, 0x3C, 0x64}).text(480, "la", 0x05);
  track.ev(0, {0x80, 0x3C, 0x00}).end();
  TempFile song(smf(0, 480, {track}));
  AppRig rig;
  ASSERT_EQ(rig.run({"#F0", "#7E", "-o", song.dir() + "/", song.path()}), 0) << rig.out();
  MidiFileRead file = readMidiFile(song.dir() + "/song.xg.mid");
  ASSERT_EQ(file.problem, "");
  std::vector<std::string> events;
  for (const FileEvent& e : file.events) {
    std::string at = std::to_string(e.time);
    if (e.meta == 0x03 || e.meta == 0x05) events.push_back(at + " text");
    if (e.meta < 0 && e.bytes.size() == 1) events.push_back(at + " byte");
    if (e.meta < 0 && e.bytes == Bytes{0x90, 0x3C, 0x64}) events.push_back(at + " note");
  }
  // The song's first event (after its channel volumes) is 4 ms into its part, as set-up events
  // are spaced; the lyric 480 ticks (500 ms) after the note.
  EXPECT_EQ(events,
            (std::vector<std::string>{"0 byte", "0 byte", "204 text", "208 note", "708 text"}));
}

// A play list's songs, shuffled or not, go into a joined file in the order they play; a list
// played again has no place in a conversion.
TEST(Conversion, PlayListsAndShuffleGiveTheOrderOfTheSongs) {
  FileTree folder;
  for (uint8_t key : {'a', 'b', 'c'}) {
    Bytes song = smf(0, 480, {Track().ev(0, {0x90, key, 0x64}).ev(240, {0x80, key, 0}).end()});
    folder.file(std::string(1, static_cast<char>(key)) + ".mid",
                std::string(song.begin(), song.end()));
  }
  folder.file("l.m3u", "c.mid\na.mid\n");
  const std::string out = folder.path("all.mid");
  // Seed 1 by hand: its first words 1791095845 and 4282876139 modulo 3 and 2 make c a b c b a.
  for (auto [seed, notes] : {std::pair{"", "cab"}, {"--seed=1", "cba"}}) {
    AppRig rig;
    EXPECT_EQ(rig.run({seed, "-o", out, folder.path("l.m3u"), folder.path("b.mid")}), 0);
    std::string played;
    for (const FileEvent& e : readMidiFile(out).wire())
      if ((e.bytes[0] & 0xF0) == 0x90 && e.bytes[2] > 0) played += static_cast<char>(e.bytes[1]);
    EXPECT_EQ(played, notes);
  }
  AppRig rig;
  EXPECT_EQ(rig.run({"--loop", "-o", out, folder.path("l.m3u")}), 2);
  EXPECT_EQ(rig.log.capturedErrors().rfind("tessaro: --loop: ", 0), 0u);
}

// A wait of days (one tick of 16.7 s, a delta of 2^28 ticks) ends in a song cut after 24
// hours, which is said whatever the report level.
TEST(Conversion, SongThatNeverEndsIsCut) {
  Track track;
  track.tempo(0, 0xFFFFFF).ev(0, {0x90, 0x3C, 0x64}).ev(0x0FFFFFFF, {0x80, 0x3C, 0}).end();
  TempFile song(smf(0, 1, {track}));
  render::OfflineSession session(render::SongSettings{});
  std::string reason;
  ASSERT_TRUE(session.load(song.path(), reason)) << reason;
  std::FILE* stream = std::fopen((song.dir() + "/cut.mid").c_str(), "wb");
  render::MidiFileOutput out(stream);
  EXPECT_NEAR(session.perform(out), render::longestSongMs, 1000.0);
  std::fclose(stream);
  EXPECT_TRUE(session.cut());

  BatchRun batch;
  EXPECT_EQ(batch.run({song.path()}, batch.dir + "/"), render::allConverted);
  EXPECT_NE(batch.log.capturedErrors().find("tessaro: " + song.path() +
                                            ": cut after 24 hours of music; the rest is not "
                                            "converted\n"),
            std::string::npos)
      << batch.log.captured();
}

TEST(ConversionProgress, TextFromGivenValues) {
  render::ProgressFacts facts{12,  72, 0, 0, {{"/music/Blue Bossa.mid", 450}}, 3600000 + 62000,
                              2000};
  render::ProgressFacts busy{12, 72, 1, 0, {{"a.mid", 500}, {"b.mid", 0, true}}, 60000, 60000};
  render::ProgressFacts failing{3, 3, 1, 0, {}, 59999, 40000};
  render::ProgressFacts slow{
      0, 1, 0, 0, {{"a-very-long-song-name-that-goes-on-and-on.mid", 999}}, 500, 1000};
  render::ProgressFacts loading{0, 2, 0, 0, {}, 0, 0, true};
  render::ProgressFacts stopped{5, 9, 1, 2, {}, 60000, 1000, false, true};
  const struct Row {
    std::string text, expected;
  } rows[] = {
      {render::progressBar(facts, 100),
       "[####....................]  12/72  Blue Bossa.mid 45%  1831x  0:09 left"},
      {render::progressBar(busy, 100),
       "[####....................]  12/72  a.mid 50%  b.mid loading SoundFont  1.0x  4:45 left  "
       "1 failed"},
      // Narrower terminals: a shorter bar and names, then one entry with the count of others,
      // then no bar, no entry, and at last the line cut; never the last column.
      {render::progressBar(busy, 80),
       "[#.........]  12/72  b.mid loading SoundFont +1  1.0x  4:45 left  1 failed"},
      {render::progressBar(busy, 70),
       "12/72  b.mid loading SoundFont +1  1.0x  4:45 left  1 failed"},
      {render::progressBar(busy, 50), "12/72  1.0x  4:45 left  1 failed"},
      {render::progressBar(busy, 20), "12/72  1.0x  4:45 l"},
      {render::progressBar(slow, 100),
       "[#######################.]  0/1  a-very-long-song-name-t~ 99%  0.5x"},
      {render::progressBar(failing, 80), "[########################]  3/3  1.5x  1 failed"},
      {render::progressBar(loading, 80), "[........................]  0/2  loading SoundFont"},
      {render::progressBar({0, 1, 0, 0, {{"a\x1b[2Jb.mid", 0}}, 0, 0}, 80),
       "[........................]  0/1  a?[2Jb.mid 0%"},
      {render::summaryLine(facts),
       "12 of 72 songs converted: 1:01:02 of music in 2.00 s (1831x real time)"},
      {render::summaryLine(failing),
       "2 of 3 songs converted: 0:59 of music in 40.00 s (1.5x real time); 1 failed"},
      {render::summaryLine(stopped),
       "Stopped: 2 of 9 songs converted: 1:00 of music in 1.00 s (60x real time); 1 failed; 2 "
       "skipped (their files exist)"},
      {render::summaryLine({1, 1, 0, 0, {}, 4000, 0}), "1 song converted: 0:04 of music in 0.00 s"},
      {render::songLine(3, 72, "a.mid", "out/a.xg.mid", 192000),
       "[3/72] a.mid -> out/a.xg.mid (3:12)"},
      {render::skippedLine(4, 72, "b.mid", "out/b.xg.mid"),
       "[4/72] b.mid: skipped: out/b.xg.mid exists"},
  };
  for (const Row& row : rows) EXPECT_EQ(row.text, row.expected);
}

// Whatever the terminal's width and the names, the bar never reaches the last column.
TEST(ConversionProgress, TheBarNeverWraps) {
  render::ProgressFacts facts{3, 1000, 2, 0, {}, 1000, 1000};
  for (int i = 0; i < 8; ++i)
    facts.current.push_back({"songs/" + std::string(20 + 9 * i, 'x') + "\xC3\xA9.mid", 500});
  for (size_t columns = 1; columns <= 300; ++columns)
    EXPECT_LT(render::progressBar(facts, columns).size(), columns) << columns;
}

}  // namespace
}  // namespace tessaro::testing
