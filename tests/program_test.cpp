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

TEST(ProgramStartUp, UsageEndsTheRunBeforeThePortOpens) {
  ProgramRun run;
  EXPECT_EQ(run.run({"/com3", "song.mid", "/?"}), 0);
  std::string out = run.out();
  EXPECT_NE(out.find("COM port = COM3 \n__.mid  --- MIDI file name \n"), std::string::npos);
  EXPECT_NE(out.find("/c__ --- Fade-out Interval (default:210ms) \n\n"), std::string::npos);
  EXPECT_EQ(out.find("Initializing"), std::string::npos);
  EXPECT_TRUE(run.serial.opened.empty());
}

TEST(ProgramStartUp, PortThatCannotOpenEndsWithMinusOne) {
  struct Case {
    bool japanese;
    const char* message;
  } cases[] = {
      {false, "MIDI Device is Already Used by another application.\n"},
      {true,
       "\nMIDI は他のアプリケーションが使用中です.\n"
       "\n演奏リストへ追加する場合は、直接リスト上へドラッグ＆ドロップしてください.\n"},
  };
  for (const Case& c : cases) {
    ProgramRun run;
    run.midi.failOpen = true;
    run.environment.japanese = c.japanese;
    EXPECT_EQ(run.run({"song.mid"}), -1);
    std::string expected = std::string("Initializing MIDI System ... \nno MIDI output device\n") +
                           "MIDI Mapper Out Open Error.\n" + c.message;
    EXPECT_NE(run.out().find(expected), std::string::npos) << run.out();
    EXPECT_EQ(run.midi.openedId, platform::MidiOutputs::mapper);
  }
}

TEST(ProgramStartUp, FailedSerialOpenReportsWhyAndEnds) {
  ProgramRun run;
  run.serial.openFailure.failedStep = platform::SerialOpenResult::Step::open;
  run.serial.openFailure.error = 2;
  run.serial.openFailure.reason = "/dev/ttyS1: No such file or directory";
  EXPECT_EQ(run.run({"/com2", "song.mid"}), -1);
  EXPECT_NE(run.out().find("COM port = COM2 \nInitializing MIDI System ... \n"
                           "/dev/ttyS1: No such file or directory\n"
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
  EXPECT_EQ(run.run({"/com1", "/nonexistent/missing.mid", notMidi.path(), good.path()}), 0);
  std::string out = run.out();
  EXPECT_NE(out.find("Cannot open (RD) : /nonexistent/missing.mid\n"
                     "Initailize Result Code = -1\n"),
            std::string::npos)
      << out;
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
  EXPECT_EQ(run.run(words), 0);
  std::string out = run.out();
  for (const char* message :
       {"End of Track undetected.(", "Cannot read tracks more than 128 (this file 200).\n",
        "Are you sure to get over 64kB (", "Time division of 0 in the header"}) {
    EXPECT_NE(out.find(message), std::string::npos) << message;
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

TEST(ProgramIdle, EscOrEndedInputEndsAnEmptyRunWithoutReset) {
  for (bool esc : {true, false}) {
    ProgramRun run;
    if (esc) run.console.keys = {0, 0, 27};
    EXPECT_EQ(run.run({"/com1"}), 0);
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
