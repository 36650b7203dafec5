// The whole run in virtual time: start-up, options, the song loop and the end, with the
// player thread run on the test thread and the output captured on a serial line.
#include <gtest/gtest.h>

#include "support/app_rig.h"
#include "support/smf.h"

namespace tessaro::testing {
namespace {

const Bytes gmSystemOn{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

using ProgramRun = AppRig;

Bytes song(uint8_t key) {
  Track t;
  t.ev(0, {0x90, key, 0x40}).ev(480, {0x80, key, 0x00}).end();
  return smf(0, 480, {t});
}

// Help, version and the port list are answered at once: before the banner, the start-up's
// waits, the settings file and the port.
TEST(ProgramStartUp, RequestsAreAnsweredAtOnceAndEndTheRun) {
  struct Row {
    std::vector<std::string> words;
    std::string begins;
  } rows[] = {
      {{"/com3", "song.mid", "/?"}, "Usage: tessaro [options] [--] file.mid ...\n"},
      {{"song.mid", "--list-ports"}, "MIDI ports (-p ADDRESS or -p NAME):\n"},
  };
  for (const Row& row : rows) {
    ProgramRun run;
    uint32_t start = run.clock.now;
    EXPECT_EQ(run.run(row.words), 0);
    EXPECT_EQ(run.out().rfind(row.begins, 0), 0u) << run.out();
    EXPECT_EQ(run.out().find("COM port"), std::string::npos);
    EXPECT_EQ(run.clock.now, start);
    EXPECT_TRUE(run.serial.opened.empty());
  }
}

// The device's failure is said; that another program holds it only where that may be so.
TEST(ProgramStartUp, PortThatCannotOpenEndsWithOne) {
  struct Case {
    bool japanese;
    platform::Busy busy;
    const char* message;
  } cases[] = {
      {false, platform::Busy::unknown, "MIDI Device is Already Used by another application.\n"},
      {false, platform::Busy::yes, "MIDI Device is Already Used by another application.\n"},
      {false, platform::Busy::no, ""},
      {true, platform::Busy::unknown,
       "\nMIDI は他のアプリケーションが使用中です.\n"
       "\n演奏リストへ追加する場合は、直接リスト上へドラッグ＆ドロップしてください.\n"},
      {true, platform::Busy::no, ""},
  };
  for (const Case& c : cases) {
    ProgramRun run;
    run.midi.failOpen = true;
    run.midi.busy = c.busy;
    run.environment.japanese = c.japanese;
    EXPECT_EQ(run.run({"song.mid"}), 1);
    std::string expected =
        std::string(
            "Initializing MIDI System ... \ntessaro: MIDI output: no MIDI output device\n") +
        "MIDI Mapper Out Open Error.\n" + c.message;
    EXPECT_EQ(run.out().substr(run.out().find("Initializing")), expected);
    EXPECT_EQ(run.errors(), "tessaro: MIDI output: no MIDI output device\n");
    EXPECT_EQ(run.midi.openedId, platform::MidiOutputs::mapper);
  }
}

TEST(ProgramStartUp, FailedSerialOpenReportsWhyAndEnds) {
  ProgramRun run;
  run.serial.openFailure.failedStep = platform::SerialOpenResult::Step::open;
  run.serial.openFailure.error = 2;
  run.serial.openFailure.reason = "/dev/ttyS1: No such file or directory";
  EXPECT_EQ(run.run({"/com2", "song.mid"}), 1);
  EXPECT_NE(run.out().find("COM port = COM2 \nInitializing MIDI System ... \n"
                           "tessaro: COM2: /dev/ttyS1: No such file or directory\n"
                           "Cannot open COM2 in CreateFile (2)(==ERROR_FILE_NOT_FOUND)\n"
                           "MIDI Device is Already Used by another application.\n"),
            std::string::npos)
      << run.out();
}

TEST(ProgramStartUp, PriorityFailuresAreReportedAndTheRunGoesOn) {
  ProgramRun run;
  run.priorities.getOk = false;
  run.priorities.setOk = false;
  run.priorities.raiseOk = false;
  TempFile a(song(60));
  EXPECT_EQ(run.run({"/com1", a.path()}), 0);
  std::string out = run.out();
  EXPECT_NE(out.find("Failed Getting Priority.\nFailed Setting Priority.\n"), std::string::npos);
  EXPECT_NE(out.find("OK.\nFailed Setting Priority.\n"), std::string::npos);
  EXPECT_NE(out.find("Failed Recovering Priority.\n"), std::string::npos);
}

TEST(ProgramSongs, ThreeFilesPlayInOrderAndTheRunEndsWithGmSystemOn) {
  ProgramRun run;
  TempFile a(song(60)), b(song(62)), c(song(64));
  EXPECT_EQ(run.run({"/com1", "/nc", a.path(), b.path(), c.path()}), 0);
  EXPECT_EQ(notesPlayed(run.serial), (std::vector<int>{60, 62, 64}));
  ASSERT_GE(run.serial.writes.size(), 2u);
  const Captured& last = run.serial.writes.back();
  const Captured& stop = run.serial.writes[run.serial.writes.size() - 2];
  EXPECT_EQ(last.bytes, gmSystemOn);
  EXPECT_EQ(stop.bytes, gmSystemOn);
  // The last song's stop, the 200 ms after the play loop, then 1500 ms before the final reset.
  EXPECT_EQ(last.time - stop.time, 200u + 1500u);
  EXPECT_EQ(run.out().find("Initailize Result Code"), std::string::npos);
}

// Beyond the list's 100 entries the names wait and join it as songs end: every song plays, in
// order, each named with its place among all of them.
TEST(ProgramSongs, MoreThanAHundredFilesAllPlay) {
  ProgramRun run;
  TempFile a(song(60)), b(song(62));
  std::vector<std::string> words{"/com1", "/nc"};
  for (int i = 0; i < 101; ++i) words.push_back(i == 100 ? b.path() : a.path());
  EXPECT_EQ(run.run(words), 0);
  std::vector<int> notes = notesPlayed(run.serial);
  ASSERT_EQ(notes.size(), 101u);
  EXPECT_EQ(notes.back(), 62);
  EXPECT_NE(run.out().find("[1/101] song.mid  GM, untranslated\n"), std::string::npos);
  EXPECT_NE(run.out().find("[101/101] song.mid"), std::string::npos);
}

TEST(ProgramSongs, FixedWaitsBeforeTheFirstSong) {
  ProgramRun run;
  TempFile a(song(60));
  uint32_t begin = run.clock.now;
  run.run({"/com1", a.path()});
  // 2000 after the banner, 100 after the port, 500 after the priority class, 200 before the
  // preparation, 200 + 200 around the volume, 50 for the track's memory, 400 before resume.
  ASSERT_FALSE(run.serial.writes.empty());
  EXPECT_EQ(run.serial.writes.front().time - begin, 2000u + 100 + 500 + 50 + 200 + 400 + 400);
}

TEST(ProgramSongs, BadEntriesAreReportedAndTheGoodOnePlays) {
  ProgramRun run;
  TempFile notMidi(Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0}, "clip.wav");
  TempFile good(song(67));
  EXPECT_EQ(run.run({"/com1", "/nonexistent/missing.mid", notMidi.path(), good.path()}), 1);
  std::string out = run.out();
  EXPECT_NE(out.find("[1/3] missing.mid\nCannot open (RD) : /nonexistent/missing.mid\n"
                     "tessaro: missing.mid: no such file\nInitailize Result Code = -1\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("[2/3] clip.wav\ntessaro: clip.wav: not a Standard MIDI File\n"
                     "Initailize Result Code = -1\n"),
            std::string::npos)
      << out;
  // The failures on the error stream, each naming its song.
  EXPECT_EQ(run.errors(),
            "tessaro: missing.mid: no such file\ntessaro: clip.wav: not a Standard MIDI File\n");
  EXPECT_NE(out.find("[3/3] song.mid  GM -> XG\n"), std::string::npos) << out;
  EXPECT_EQ(notesPlayed(run.serial), (std::vector<int>{67}));
  EXPECT_EQ(run.threads.created, 3);
}

// Files that are broken in every way a download or a careless writer breaks them: each is
// reported or cut short, and the good song after them still plays.
TEST(ProgramSongs, EveryKindOfBrokenFileIsSurvived) {
  Track good;
  good.ev(0, {0x90, 0x3C, 0x40}).ev(10, {0x80, 0x3C, 0x00}).end();
  Bytes truncated = smf(0, 480, {good});
  truncated.resize(truncated.size() - 4);
  Track noEnd;
  noEnd.ev(0, {0x90, 0x3C, 0x40});
  Bytes manyTracks = smf(1, 480, std::vector<Track>(200, good));
  Track badSysEx;
  badSysEx.ev(0, {0x90, 0x3D, 0x40}).ev(0, {0xF0, 0x05, 0x7E, 0x7F, 0xF7}).end();
  Bytes random;
  uint32_t seed = 12345;
  for (int i = 0; i < 4096; ++i) {
    seed = seed * 1103515245 + 12345;
    random.push_back(static_cast<uint8_t>(seed >> 16));
  }
  Bytes randomTrack = smf(0, 96, {});
  Bytes body(random.begin(), random.begin() + 600);
  Bytes junk = chunk("MTrk", body);
  randomTrack[11] = 1;
  randomTrack.insert(randomTrack.end(), junk.begin(), junk.end());
  Bytes largeTrack;
  {
    Track big;
    for (int i = 0; i < 20000; ++i) big.ev(1, {0xB0, 0x01, 0x00});
    big.end();
    largeTrack = smf(1, 480, {big});
  }
  Bytes zeroDivision = smf(0, 0, {good});
  std::vector<Bytes> files = {truncated, smf(0, 480, {noEnd}), manyTracks, smf(0, 480, {badSysEx}),
                              random,    randomTrack,          largeTrack, zeroDivision};
  std::vector<std::unique_ptr<TempFile>> temps;
  ProgramRun run;
  std::vector<std::string> words{"/com1", "/nc"};
  for (const Bytes& f : files) {
    temps.push_back(std::make_unique<TempFile>(f));
    words.push_back(temps.back()->path());
  }
  TempFile last(song(71));
  words.push_back(last.path());
  EXPECT_EQ(run.run(words), 1);
  std::string out = run.out();
  for (const char* message :
       {"End of Track undetected.(", "Cannot read tracks more than 128 (this file 200).\n",
        "Are you sure to get over 64kB ("}) {
    EXPECT_NE(out.find(message), std::string::npos) << message;
  }
  for (const char* problem :
       {": has a time division of 0\n",
        ": track 1, tick 0: a system exclusive of 5 bytes does not end at its F7"}) {
    EXPECT_NE(run.errors().find(problem), std::string::npos) << problem;
  }
  std::vector<int> notes = notesPlayed(run.serial);
  ASSERT_FALSE(notes.empty());
  EXPECT_EQ(notes.back(), 71);
  EXPECT_TRUE(soundingOnWire(run.serial.bytes()).empty());
  EXPECT_EQ(run.threads.created, static_cast<int>(files.size()) + 1);
}

TEST(ProgramSongs, StartMeasureAppliesToEverySong) {
  ProgramRun run;
  Track t;
  t.ev(0, {0x90, 50, 0x40}).ev(1920, {0x80, 50, 0x00}).ev(10, {0x90, 70, 0x40});
  t.ev(480, {0x80, 70, 0x00}).end();
  TempFile a(smf(0, 480, {t})), b(smf(0, 480, {t}));
  EXPECT_EQ(run.run({"/com1", "@2", a.path(), b.path()}), 0);
  EXPECT_EQ(notesPlayed(run.serial), (std::vector<int>{70, 70}));
  EXPECT_NE(run.out().find("Skip to Meas = 2 \n"), std::string::npos);
}

TEST(ProgramSongs, NegativeStartIsTheSongStart) {
  ProgramRun run;
  TempFile a(song(60));
  EXPECT_EQ(run.run({"/com1", "@-3", ".-1", a.path()}), 0);
  EXPECT_EQ(notesPlayed(run.serial), (std::vector<int>{60}));
}

// Without a window nothing could bring a file: the run ends at once with status 2. With one,
// Esc ends the wait.
TEST(ProgramIdle, AnEmptyRunEndsWithoutReset) {
  for (bool window : {true, false}) {
    ProgramRun run(window);
    run.console.keys = {0, 0, 27};
    run.console.keepOpen = true;
    EXPECT_EQ(run.run({"/so", "/com1"}), window ? 0 : 2);
    EXPECT_EQ(run.console.keys.empty(), window);
    EXPECT_EQ(run.out().find("tessaro: nothing to play") != std::string::npos, !window)
        << run.out();
    for (const auto& w : run.serial.writes) EXPECT_NE(w.bytes, gmSystemOn);
  }
}

TEST(ProgramKeys, EscStopsTheSongAndTheNextOnePlays) {
  ProgramRun run;
  // The whole song plays before the play loop's first turn here: Esc then finds it ended.
  run.console.keys = {27};
  TempFile a(song(60)), b(song(62));
  EXPECT_EQ(run.run({"/com1", a.path(), b.path()}), 0);
  EXPECT_EQ(notesPlayed(run.serial), (std::vector<int>{60, 62}));
}

TEST(ProgramOptions, DirectBytesGoOutBeforeAnySong) {
  ProgramRun run;
  TempFile a(song(60));
  EXPECT_EQ(run.run({"/com1", "#F0", "#43", a.path()}), 0);
  ASSERT_GE(run.serial.writes.size(), 2u);
  EXPECT_EQ(run.serial.writes[0].bytes, Bytes{0xF0});
  EXPECT_EQ(run.serial.writes[1].bytes, Bytes{0x43});
  EXPECT_NE(run.out().find("00F0 0043 "), std::string::npos);
}

}  // namespace
}  // namespace tessaro::testing
