// The live session in virtual time: what a MIDI input sends goes through the same translation
// stage as a song, so its wire is the song's wire; declared conventions, the holds after a
// reset, what is dropped, and the end. Then the program in live mode: what goes with -i.
#include "live/live_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "app/options.h"
#include "control/song_facts.h"
#include "control/status_line.h"
#include "support/app_rig.h"
#include "support/corpus.h"
#include "support/player_rig.h"
#include "support/recording_commands.h"
#include "support/smf_reader.h"

namespace tessaro::testing {
namespace {

const Bytes gsReset{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};
const Bytes xgSystemOn{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
const Bytes gmSystemOn{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

// A Roland data set to device 0x10 with its checksum.
Bytes roland(uint8_t a1, uint8_t a2, uint8_t a3, uint8_t value) {
  int sum = a1 + a2 + a3 + value;
  return {0xF0, 0x41, 0x10, 0x42,  0x12,
          a1,   a2,   a3,   value, static_cast<uint8_t>((128 - sum % 128) % 128),
          0xF7};
}

// One moment of a stream: the messages that come together, whole, with their status bytes.
struct Moment {
  uint32_t ms;
  std::vector<Bytes> messages;
};

// The session of a test on a serial line (exact bytes) and a scripted input.
struct LiveRig : PlayerStack<VirtualClock, LitNotes> {
  ScriptedMidiInput input{clock};
  std::optional<LiveSession> live;

  explicit LiveRig(Target target = Target::xg) {
    log.startCapture();
    options.target = target;
    openMidiPort(port, 1, platform::MidiOutputs::mapper);
    serial.writes.clear();
  }
  LiveEnd run(SourceConvention from = SourceConvention::detected) {
    live.emplace(LiveParts{clock, log, port, options, session.stage, session.time, session.requests,
                           observer},
                 input, "in", from);
    return live->run();
  }
  void script(const std::vector<Moment>& moments) {
    for (const Moment& m : moments) {
      Bytes chunk;
      for (const Bytes& message : m.messages)
        chunk.insert(chunk.end(), message.begin(), message.end());
      input.at(m.ms, chunk);
    }
  }
};

// The wire of a one-track song played by the file player from its preparation to its stop.
Bytes filePlayerWire(const std::string& path, Target target) {
  PlayerRig rig;
  rig.options.target = target;
  EXPECT_EQ(loadSong(rig.engine, path.c_str()), loadOk);
  EXPECT_EQ(preparePlayback(rig.engine), 0);
  playerThread(rig.engine);
  stopPlayback(rig.engine);
  return rig.serial.bytes();
}

// A one-track song's events as a line would carry them: each message whole, those of one
// tick together; meta events left out.
std::vector<Moment> momentsOf(const MidiFileRead& file) {
  std::vector<Moment> moments;
  uint8_t status = 0;
  for (const FileEvent& e : file.events) {
    if (e.meta >= 0 || e.bytes.empty()) continue;
    Bytes message = e.bytes;
    if (message[0] < 0x80) message.insert(message.begin(), status);
    if (message[0] < 0xF0) status = message[0];
    if (moments.empty() || moments.back().ms != e.time) moments.push_back({e.time, {}});
    moments.back().messages.push_back(message);
  }
  return moments;
}

// A GS song written for this test: a reset, part parameters, a master volume, programs, a
// second rhythm part, notes and drums, with running status after a system exclusive.
Bytes handMadeGsSong() {
  Track t;
  t.raw(0, {0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7});
  for (const Bytes& m : {roland(0x40, 0x11, 0x15, 0x01), roland(0x40, 0x13, 0x1C, 0x20),
                         roland(0x40, 0x01, 0x30, 0x04), roland(0x40, 0x00, 0x04, 0x64)}) {
    Bytes event{0xF0, static_cast<uint8_t>(m.size() - 1)};
    event.insert(event.end(), m.begin() + 1, m.end());
    t.raw(5, event);
  }
  // A channel volume at the master volume's tick: the volumes it makes due follow both.
  t.ev(0, {0xB1, 0x07, 0x60}).ev(0, {0xC1, 0x19});
  t.ev(10, {0xB0, 0x00, 0x08})
      .ev(0, {0xB0, 0x20, 0x00})
      .ev(0, {0xC0, 0x04})
      .ev(0, {0xB0, 0x07, 0x70});
  t.ev(20, {0x90, 0x3C, 0x64}).ev(0, {0x91, 0x24, 0x50}).ev(0, {0x99, 0x26, 0x70});
  t.ev(96, {0x80, 0x3C, 0x00}).ev(0, {0x91, 0x24, 0x00}).ev(0, {0x89, 0x26, 0x00});
  t.ev(10, {0xE0, 0x00, 0x50}).ev(0, {0x90, 0x40, 0x64}).ev(48, {0x40, 0x00}).end();
  return smf(0, 96, {t});
}

class LiveAsFile : public ::testing::TestWithParam<std::tuple<std::string, Target>> {};

// A rule fixed for songs is fixed for live play: the stage is the same, and so is the wire,
// from the start's channel volumes to the stop's GM System On.
TEST_P(LiveAsFile, TheWireIsTheFilePlayersByteForByte) {
  const auto& [name, target] = GetParam();
  std::string path = name;
  std::optional<TempFile> made;
  if (name == "hand-made GS song") {
    made.emplace(handMadeGsSong());
    path = made->path();
  } else {
    path = (std::filesystem::path(TESSARO_CORPUS_DIR) / "jazz-soft" / name).string();
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no corpus song " << path;
  }
  MidiFileRead file = readMidiFile(path);
  ASSERT_EQ(file.problem, "");
  LiveRig rig(target);
  rig.script(momentsOf(file));
  EXPECT_EQ(rig.run(), LiveEnd::inputEnded);
  Bytes live = rig.serial.bytes();
  Bytes song = filePlayerWire(path, target);
  EXPECT_EQ(live, song);
  EXPECT_TRUE(soundingOnWire(live).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Songs, LiveAsFile,
    ::testing::Combine(::testing::Values("hand-made GS song", "test-all-gs-sounds.mid",
                                         "test-gs-doggy-01-00-7b.mid",
                                         "test-sysex-gs-40-1x-15-drum-part-change.mid",
                                         "test-xg-doggy-40-00-30.mid"),
                       ::testing::Values(Target::xg, Target::gm)),
    [](const auto& info) {
      return testNameOf(std::get<0>(info.param)) +
             (std::get<1>(info.param) == Target::xg ? "_to_XG" : "_to_GM");
    });

// What comes first after the start's channel volumes.
Bytes firstAfterVolumes(const Bytes& wire) {
  std::vector<Bytes> messages = messagesOnWire(wire);
  auto volume = [](const Bytes& m) { return m.size() == 3 && (m[0] & 0xF0) == 0xB0 && m[1] == 7; };
  auto first = std::find_if_not(messages.begin(), messages.end(), volume);
  return first == messages.end() ? Bytes{} : *first;
}

TEST(LiveDeclaredConvention, TheTargetsSetUpGoesOutAtTheStart) {
  struct Row {
    SourceConvention from;
    Target target;
    Bytes first;  // the first message after the channel volumes
    SongConvention shown;
  } rows[] = {
      {SourceConvention::gs, Target::xg, xgSystemOn, SongConvention::gs},
      {SourceConvention::sc88, Target::xg, xgSystemOn, SongConvention::gs},
      {SourceConvention::gs, Target::gm, gmSystemOn, SongConvention::gs},
      {SourceConvention::xg, Target::xg, xgSystemOn, SongConvention::xg},
      {SourceConvention::xg, Target::gm, gmSystemOn, SongConvention::xg},
      {SourceConvention::gm, Target::xg, gmSystemOn, SongConvention::undecided},
      {SourceConvention::gs, Target::none, gsReset, SongConvention::gs},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(&row - rows));
    LiveRig rig(row.target);
    rig.run(row.from);
    EXPECT_EQ(firstAfterVolumes(rig.serial.bytes()), row.first);
    EXPECT_EQ(rig.session.stage.translator.shown, row.shown);
  }
  // The SC-88 mode asks for the variation the SC-88 set-up has.
  LiveRig sc88, gs;
  sc88.run(SourceConvention::sc88);
  gs.run(SourceConvention::gs);
  const Bytes variationOne{0xF0, 0x43, 0x10, 0x4C, 0x02, 0x01, 0x40, 0x01, 0x01, 0xF7};
  auto has = [&](const Bytes& wire) {
    return std::search(wire.begin(), wire.end(), variationOne.begin(), variationOne.end()) !=
           wire.end();
  };
  EXPECT_TRUE(has(sc88.serial.bytes()));
  EXPECT_FALSE(has(gs.serial.bytes()));
}

// The module gets the set-up's time: the note after a GS reset waits for it, while the notes
// before it go at once.
TEST(LiveTiming, MessagesAfterAResetWaitForTheSetUpAndOthersGoAtOnce) {
  LiveRig rig(Target::xg);
  rig.input.at(100, {0x90, 0x3C, 0x40}).at(200, gsReset).at(200, {0x90, 0x3E, 0x40});
  rig.input.at(3000, {0x90, 0x40, 0x40});
  uint32_t start = rig.clock.now;
  rig.run();
  auto timeOf = [&](const Bytes& bytes) -> int64_t {
    for (const Captured& w : rig.serial.writes)
      if (w.bytes == bytes) return static_cast<int64_t>(w.time - start);
    return -1;
  };
  EXPECT_EQ(timeOf({0x90, 0x3C, 0x40}), 100);
  EXPECT_EQ(timeOf(xgSystemOn), 200);
  // XG System On and the set-up after it hold the music 1060 ms in all.
  EXPECT_EQ(timeOf({0x90, 0x3E, 0x40}), 1260);
  EXPECT_EQ(timeOf({0x90, 0x40, 0x40}), 3000);
}

TEST(LiveStream, WhatCannotBeAMessageIsDroppedCountedAndSaid) {
  LiveRig rig(Target::none);
  Bytes tooLong{0xF0, 0x7D};
  tooLong.resize(LiveSession::systemExclusiveLimit + 10, 0x11);
  tooLong.push_back(0xF7);
  rig.input.at(0, {0x3C, 0x40}).at(1, {0xF0, 0x7D, 0x01, 0x90, 0x3C, 0x40}).at(2, tooLong);
  rig.input.at(3, {0xF0, 0x7D, 0x02, 0xF7});
  rig.options.DispLevel = 1;
  rig.run();
  const LiveCounts& counts = rig.live->counts();
  EXPECT_EQ(counts.stray.load(), 2u);
  EXPECT_EQ(counts.cut.load(), 1u);
  EXPECT_EQ(counts.tooLong.load(), 1u);
  EXPECT_EQ(counts.passed.load(), 2u) << "the note and the short system exclusive";
  EXPECT_EQ(dropSummary(counts),
            "dropped 4 of what it sent: 1 system exclusive(s) longer than 64 KiB, 1 system "
            "exclusive(s) cut short by a status byte, 2 data byte(s) with no status");
  // At /1 each drop is said as it happens.
  EXPECT_NE(rig.log.capturedErrors().find("tessaro: in: dropped a data byte with no status\n"),
            std::string::npos);
  Bytes wire = rig.serial.bytes();
  const Bytes shortOne{0xF0, 0x7D, 0x02, 0xF7};
  EXPECT_NE(std::search(wire.begin(), wire.end(), shortOne.begin(), shortOne.end()), wire.end());
}

TEST(LiveEnd, NotesSoundingAreEndedAndTheModuleResetAndTheGridShowsThem) {
  LiveRig rig(Target::none);
  rig.input.at(0, {0x92, 0x30, 0x40, 0x31, 0x40}).at(5, {0x92, 0x31, 0x00});
  EXPECT_EQ(rig.run(), LiveEnd::inputEnded);
  Bytes wire = rig.serial.bytes();
  EXPECT_TRUE(soundingOnWire(wire).empty());
  ASSERT_FALSE(rig.serial.writes.empty());
  EXPECT_EQ(rig.serial.writes.back().bytes, gmSystemOn);
  EXPECT_EQ(rig.observer.lit, (std::set<std::pair<int, int>>{{2, 0x30}}));
}

TEST(LiveRequests, StopEndsVolumeAndResetActTheOthersDoNothing) {
  LiveRig rig(Target::none);
  rig.input.keepOpen = true;
  RequestQueue& requests = rig.session.requests;
  rig.input.onRead = [&](int read) {
    if (read == 1) {
      rig.options.volumeAdd = -20;
      for (RequestKind kind : {RequestKind::volume, RequestKind::resetModule, RequestKind::fade,
                               RequestKind::faster, RequestKind::stepRepeats})
        requests.push({kind, 1});
    }
    if (read == 3) requests.push({RequestKind::stop});
  };
  EXPECT_EQ(rig.run(), LiveEnd::stopped);
  std::vector<Bytes> messages = messagesOnWire(rig.serial.bytes());
  EXPECT_NE(std::find(messages.begin(), messages.end(), Bytes{0xB5, 0x07, 80}), messages.end());
  EXPECT_EQ(std::count(messages.begin(), messages.end(), gmSystemOn), 2) << "G, then the stop";
  EXPECT_FALSE(rig.session.stage.fading());
  EXPECT_EQ(rig.engine.state.speedDivisor, DefaultSpeedDivisor);
  EXPECT_EQ(rig.engine.state.repeatCount, 0);
}

TEST(LiveStatusLine, TheConventionWhatPassedWhatDroppedAndTheVolume) {
  EXPECT_EQ(
      liveStatusLineText({conventionText(SongConvention::gs, Target::xg), 1234, 2, 12, "G"}, 80),
      "live  GS -> XG  1234 messages  2 dropped  vol +12  [G]");
  EXPECT_EQ(liveStatusLineText(
                {conventionText(SongConvention::undecided, Target::none), 0, 0, 0, ""}, 20),
            "live  GM, untransla");
}

// --- The program in live mode.

TEST(LiveProgram, WhatDoesNotGoWithInputIsAMistakeOfTheCall) {
  struct Row {
    std::vector<std::string> words;
    std::string said;
  } rows[] = {
      {{"-i", "20:0", "./song.mid"},
       "tessaro: ./song.mid: songs are not played with -i (live translation)\n"},
      {{"-i", "20:0", "-o", "out.mid"}, "tessaro: -o: does not go with -i (live translation)\n"},
      {{"--input=20:0", "--from", "gs2"},
       "tessaro: --from: takes a convention: gs, sc88, xg or gm, not \"gs2\"\n"},
  };
  for (const Row& row : rows) {
    AppRig rig;
    EXPECT_EQ(rig.run(row.words), 2);
    EXPECT_EQ(rig.log.capturedErrors(), row.said);
    EXPECT_TRUE(rig.inputs.opened.empty());
    EXPECT_TRUE(rig.serial.opened.empty()) << "nothing opened";
  }
}

TEST(LiveProgram, SongsOnTheCommandLineWinOverTheSettingsFilesInput) {
  AppRig rig;
  TempFile song(smf(0, 96, {Track().ev(0, {0x90, 0x50, 0x40}).ev(10, {0x80, 0x50, 0x00}).end()}));
  rig.environment.settings = song.path() + ".ini";
  std::ofstream(rig.environment.settings) << "--input 20:0\n";
  EXPECT_EQ(rig.run({"/com1", song.path()}), 0) << rig.out();
  std::filesystem::remove(rig.environment.settings);
  EXPECT_TRUE(rig.inputs.opened.empty());
  EXPECT_EQ(notesPlayed(rig.serial), std::vector<int>{0x50});
  EXPECT_NE(rig.out().find("The input the settings file names is not read: songs are played.\n"),
            std::string::npos);
}

TEST(LiveProgram, AnInputThatDoesNotOpenIsSaidAndTheRunFails) {
  AppRig rig;
  rig.inputs.failure = "no such device";
  EXPECT_EQ(rig.run({"/com1", "-i", "/dev/ttyUSB7"}), 1);
  EXPECT_EQ(rig.log.capturedErrors(), "tessaro: /dev/ttyUSB7: no such device\n");
}

TEST(LiveProgram, TheInputIsTranslatedUntilItEndsAndListedSongsWait) {
  AppRig rig;
  TempFile listed(smf(0, 96, {Track().ev(0, {0x90, 0x50, 0x40}).end(10)}));
  rig.environment.settings = listed.path() + ".ini";
  {
    std::ofstream ini(rig.environment.settings);
    ini << "--from gs\n\"" << listed.path() << "\"\n";
  }
  rig.inputs.input.at(0, {0x90, 0x3C, 0x40}).at(10, {0x80, 0x3C, 0x00});
  EXPECT_EQ(rig.run({"/com1", "--input", "in:0"}), 0) << rig.out();
  std::filesystem::remove(rig.environment.settings);
  EXPECT_EQ(rig.inputs.opened, std::vector<std::string>{"in:0"});
  std::string out = rig.out();
  EXPECT_NE(out.find("The songs the settings file lists are not played in live mode.\n"),
            std::string::npos);
  EXPECT_NE(out.find("Live input in:0 ended: the script has ended.\n"), std::string::npos);
  std::vector<int> notes = notesPlayed(rig.serial);
  EXPECT_EQ(notes, std::vector<int>{0x3C}) << "the listed song is not played";
  Bytes wire = rig.serial.bytes();
  EXPECT_NE(std::search(wire.begin(), wire.end(), xgSystemOn.begin(), xgSystemOn.end()), wire.end())
      << "--from gs in the settings file";
  EXPECT_EQ(rig.serial.writes.back().bytes, gmSystemOn);
}

TEST(LiveProgram, ThePortListNamesTheInputs) {
  AppRig rig;
  rig.inputs.listing = {{{"20:0", "Keys: Keys MIDI 1"}}, ""};
  EXPECT_EQ(rig.run({"-l"}), 0);
  EXPECT_NE(rig.out().find("MIDI inputs (-i ADDRESS or -i NAME):\n  20:0    Keys: Keys MIDI 1\n"),
            std::string::npos);
}

TEST(LiveOptions, TheInputAndItsConventionAreTakenBeforeTheOutputOpens) {
  struct Row {
    std::vector<std::string> words;
    std::string commands;
  } rows[] = {
      {{"-i", "20:0"}, "input 20:0"},
      {{"-i/dev/ttyUSB0"}, "input /dev/ttyUSB0"},
      {{"--input=Keys", "--from", "SC88"}, "input Keys; from SC88"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> words{"tessaro"};
    words.insert(words.end(), row.words.begin(), row.words.end());
    CommandLine line = parseCommandLine(words, {});
    ASSERT_EQ(line.error, "");
    RecordingCommands commands;
    applyCommandLine(commands, line, Stage::first);
    EXPECT_EQ(commands.text(), row.commands);
  }
  CommandLine missing = parseCommandLine({"tessaro", "-i"}, {});
  EXPECT_EQ(missing.error, "tessaro: -i: needs a port (tessaro -l lists them)");
}

}  // namespace
}  // namespace tessaro::testing
