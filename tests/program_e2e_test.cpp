// The built program run as a user runs it: songs played to a serial line that is a
// pseudo-terminal, the console output it prints, the keys it takes and its exit code.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "support/player_rig.h"
#include "support/program_process.h"
#include "support/smf.h"

namespace tessaro::testing {
namespace {

using std::chrono::seconds;

const Bytes gmSystemOn{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

// Controller 7 = 100 on every channel, which each song starts with.
Bytes startVolumes() {
  Bytes out;
  for (uint8_t c = 0; c < 16; ++c) out.insert(out.end(), {static_cast<uint8_t>(0xB0 + c), 7, 100});
  return out;
}

Bytes join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

bool isNoteOff(const Bytes& m) {
  return m.size() == 3 && ((m[0] & 0xF0) == 0x80 || ((m[0] & 0xF0) == 0x90 && m[2] == 0));
}

bool contains(const Bytes& haystack, const Bytes& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
         haystack.end();
}

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string hex(const Bytes& bytes) {
  std::string out;
  char cell[4];
  for (uint8_t b : bytes) {
    std::snprintf(cell, sizeof cell, "%02X ", b);
    out += cell;
  }
  return out;
}

// One note-on with the given status, and its note-off half a beat later.
Bytes oneNoteSong(uint8_t status, uint8_t key) {
  Track t;
  t.ev(0, {status, key, 0x64}).ev(240, {static_cast<uint8_t>(status - 0x10), key, 0x00}).end();
  return smf(0, 480, {t});
}

TEST(ProgramOnSerialLine, TwoTrackSongReachesTheLineExactlyAndEndsSilent) {
  // Track 1 uses running status (a note-on of velocity 0 ends a note); its pan value is the
  // byte a terminal turns into CR LF when the line is not raw. Each track leaves a note
  // sounding for the stop to end.
  Track first;
  first.tempo(0, 400000).ev(0, {0xB0, 0x0A, 0x40}).ev(0, {0x90, 0x3C, 0x64});
  first.ev(240, {0x3C, 0x00}).ev(0, {0x40, 0x64}).ev(0, {0x90, 0x30, 0x64});
  first.ev(240, {0x80, 0x40, 0x00}).end();
  Track second;
  second.ev(120, {0x91, 0x43, 0x64}).ev(240, {0x81, 0x43, 0x00}).ev(0, {0x91, 0x47, 0x64}).end();
  TempFile song(smf(1, 480, {first, second}));

  ProgramProcess run({"/com1", "/nc", song.path()});
  ASSERT_EQ(run.setupError(), "");
  run.closeInput();  // input at its end must not cut a song short
  EXPECT_EQ(run.finish(), 0) << run.out();

  Bytes expected =
      join({startVolumes(),
            {0xB0, 0x0A, 0x40, 0x90, 0x3C, 0x64, 0x91, 0x43, 0x64, 0x90, 0x3C, 0x00, 0x90, 0x40,
             0x64, 0x90, 0x30, 0x64, 0x81, 0x43, 0x00, 0x91, 0x47, 0x64, 0x80, 0x40, 0x00},
            // The stop's note-offs, channel by channel, under running status.
            {0x30, 0x00, 0x81, 0x47, 0x00},
            gmSystemOn,
            gmSystemOn});
  Bytes wire = run.wire();
  EXPECT_EQ(hex(wire), hex(expected));
  EXPECT_TRUE(soundingOnWire(wire).empty());
  std::string out = run.out();
  EXPECT_NE(out.find("COM1 Initialized.\n"), std::string::npos) << out;
  EXPECT_NE(out.find("OK.\n"), std::string::npos) << out;
}

TEST(ProgramOnSerialLine, MissingAndNonMidiFilesAreReportedAndTheGoodSongPlays) {
  TempFile good(oneNoteSong(0x90, 0x45));
  TempFile notMidi(Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}, "clip.wav");
  const std::string missing = good.dir() + "/missing.mid";

  ProgramProcess run({"/com1", missing, notMidi.path(), good.path()});
  ASSERT_EQ(run.setupError(), "");
  run.closeInput();
  EXPECT_EQ(run.finish(), 1) << run.out();

  std::string out = run.out();
  EXPECT_NE(out.find("[1/3] missing.mid\nCannot open (RD) : " + missing +
                     "\nInitailize Result Code = -1\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("[2/3] clip.wav\nInitailize Result Code = -1\n"), std::string::npos) << out;
  EXPECT_EQ(count(out, "Initailize Result Code = -1\n"), 2u) << out;
  // Why, on the error stream, naming each song.
  EXPECT_EQ(run.err(),
            "tessaro: missing.mid: no such file\ntessaro: clip.wav: not a Standard MIDI File\n");

  Bytes wire = run.wire();
  std::vector<Bytes> notes;
  for (const Bytes& m : messagesOnWire(wire))
    if ((m[0] & 0xE0) == 0x80) notes.push_back(m);
  EXPECT_EQ(notes, (std::vector<Bytes>{{0x90, 0x45, 0x64}, {0x80, 0x45, 0x00}})) << hex(wire);
  EXPECT_TRUE(soundingOnWire(wire).empty());
  ASSERT_GE(wire.size(), gmSystemOn.size());
  EXPECT_EQ(Bytes(wire.end() - 6, wire.end()), gmSystemOn);
}

TEST(ProgramOnSerialLine, EscStopsALongSongSilencesItAndTheNextSongPlays) {
  // A minute of quarter-beat notes over a held note, then a short song on channel 3.
  constexpr int rhythmNotes = 240;
  std::vector<Bytes> longSong{{0x90, 0x24, 0x50}};
  Track t;
  t.ev(0, {0x90, 0x24, 0x50});
  for (int i = 0; i < rhythmNotes; ++i) {
    uint8_t key = static_cast<uint8_t>(0x30 + i % 24);
    t.ev(i == 0 ? 0 : 120, {0x90, key, 0x64}).ev(120, {0x80, key, 0x00});
    longSong.push_back({0x90, key, 0x64});
    longSong.push_back({0x80, key, 0x00});
  }
  t.ev(120, {0x80, 0x24, 0x00}).end();
  longSong.push_back({0x80, 0x24, 0x00});
  TempFile first(smf(0, 480, {t}));
  TempFile second(oneNoteSong(0x92, 0x50));

  ProgramProcess run({"/com1", "/nc", first.path(), second.path()}, "",
                     ProgramProcess::Keys::terminal);
  ASSERT_EQ(run.setupError(), "");
  ASSERT_TRUE(run.waitForWire(
      [](const Bytes& w) {
        return contains(w, {0x90, 0x30, 0x64});
      },
      seconds(30)))
      << run.out();
  run.pressKey(27);
  EXPECT_EQ(run.finish(), 0) << run.out();
  EXPECT_LT(run.seconds(), 40.0) << "the first song is a minute long";

  Bytes wire = run.wire();
  std::vector<Bytes> messages = messagesOnWire(wire);
  auto volumes = messagesOnWire(startVolumes());
  ASSERT_GE(messages.size(), 16u) << hex(wire);
  ASSERT_TRUE(std::equal(volumes.begin(), volumes.end(), messages.begin())) << hex(wire);

  // The first song's messages in order, as far as it got: at least its first note, never all.
  size_t at = 16;
  size_t played = 0;
  while (at < messages.size() && played < longSong.size() && messages[at] == longSong[played]) {
    ++at;
    ++played;
  }
  EXPECT_GE(played, 2u);
  EXPECT_LT(played, longSong.size() / 2) << "Esc came within the first seconds";

  // Then note-offs only, for exactly the notes still sounding, and GM System On.
  size_t stopStart = at;
  while (at < messages.size() && isNoteOff(messages[at])) ++at;
  ASSERT_LT(at, messages.size()) << hex(wire);
  EXPECT_EQ(messages[at], gmSystemOn) << hex(wire);
  std::map<std::pair<int, int>, int> stillSounding;
  for (size_t i = 0; i < played; ++i) {
    const Bytes& m = longSong[i];
    auto key = std::make_pair(m[0] & 0x0F, static_cast<int>(m[1]));
    stillSounding[key] += isNoteOff(m) ? -1 : 1;
  }
  std::erase_if(stillSounding, [](const auto& entry) { return entry.second == 0; });
  std::map<std::pair<int, int>, int> ended;
  for (size_t i = stopStart; i < at; ++i) ++ended[{messages[i][0] & 0x0F, messages[i][1]}];
  EXPECT_EQ(ended, stillSounding) << hex(wire);
  EXPECT_EQ(ended.count({0, 0x24}), 1u) << "the held note is ended";
  size_t firstReset = static_cast<size_t>(
      std::search(wire.begin(), wire.end(), gmSystemOn.begin(), gmSystemOn.end()) - wire.begin());
  EXPECT_TRUE(
      soundingOnWire(Bytes(wire.begin(), wire.begin() + static_cast<long>(firstReset))).empty());

  // The second song, whole, and the run's end.
  std::vector<Bytes> rest(messages.begin() + static_cast<long>(at) + 1, messages.end());
  std::vector<Bytes> expectedRest = volumes;
  expectedRest.insert(expectedRest.end(),
                      {{0x92, 0x50, 0x64}, {0x82, 0x50, 0x00}, gmSystemOn, gmSystemOn});
  EXPECT_EQ(rest, expectedRest) << hex(wire);
  EXPECT_TRUE(soundingOnWire(wire).empty());
}

// A device that is not there is said to be missing, and nothing claims it is in use.
TEST(ProgramCommandLine, PortThatDoesNotExistEndsTheRunWithOne) {
  TempFile song(oneNoteSong(0x90, 0x3C));
  const std::string device = song.dir() + "/no-such-device";
  ProgramProcess run({"/com1", song.path()}, device);
  ASSERT_EQ(run.setupError(), "");
  run.closeInput();
  EXPECT_EQ(run.finish(), 1);
  std::string out = run.out();
  EXPECT_EQ(run.err(), "tessaro: COM1: " + device + ": No such file or directory\n");
  EXPECT_NE(out.find("Cannot open COM1 in CreateFile (2)(==ERROR_FILE_NOT_FOUND)\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("Already Used"), std::string::npos) << out;
  EXPECT_TRUE(run.wire().empty());
}

TEST(ProgramCommandLine, HelpIsPrintedAtOnceAndNothingIsOpened) {
  // COM1 names no device: opening it would end the run with status 1.
  TempFile song(oneNoteSong(0x90, 0x3C));
  ProgramProcess run({"/com1", "/?", song.path()}, song.dir() + "/no-such-device");
  ASSERT_EQ(run.setupError(), "");
  run.closeInput();
  EXPECT_EQ(run.finish(), 0);
  std::string out = run.out();
  EXPECT_EQ(out.rfind("Usage: tessaro [options] [--] file.mid ...\n", 0), 0u) << out;
  EXPECT_NE(out.find("TESSARO_COMn"), std::string::npos) << out;
  EXPECT_EQ(out.find("Initializing"), std::string::npos) << out;
  EXPECT_EQ(out.find("Device Manager"), std::string::npos) << out;
}

// The status a shell sees, for each way a run ends (README, the help and the manual page give
// the same table).
TEST(ExitStatus, OfTheBuiltProgram) {
  TempFile good(oneNoteSong(0x90, 0x3C));
  struct Row {
    const char* name;
    std::vector<std::string> words;
    int status;
  } rows[] = {
      {"a song played from ./", {"/com1", "./song.mid"}, 0},
      {"a slash word of no option is only said", {"/com1", "/zz", "./song.mid"}, 0},
      {"a song converted", {"-o", "out.mid", "./song.mid"}, 0},
      {"a directory", {"/com1", good.dir()}, 1},
      {"a song that fails to convert", {"-o", "out/", "./song.mid", "missing.mid"}, 1},
      {"an unknown option", {"-x", good.path()}, 2},
      {"a dash option's value out of its range", {"-r", "5", "./song.mid"}, 2},
      {"a list of names that cannot be read", {"/com1", "--files-from", "missing.txt"}, 2},
      {"nothing to play", {"/com1"}, 2},
      {"an output that is one of the songs", {"-o", "./song.mid", "song.mid"}, 2},
      {"an output of a type not written", {"-o", "song.mp3", "./song.mid"}, 2},
  };
  ProgramLaunch inSongDirectory;
  inSongDirectory.directory = good.dir();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ProgramProcess run(row.words, "", ProgramProcess::Keys::pipe, {}, inSongDirectory);
    ASSERT_EQ(run.setupError(), "");
    run.closeInput();
    EXPECT_EQ(run.finish(), row.status) << run.out();
  }
}

// Run through a shell that sends the program's standard error into a file, so that what goes
// there and what goes to standard output are told apart.
struct ErrorsToFile {
  TempFile file{Bytes{}, "stderr.txt"};
  ProgramLaunch launch(const std::string& directory) const {
    ProgramLaunch through;
    through.program = "/bin/sh";
    through.leadingWords = {"-c", "exec \"$0\" \"$@\" 2>'" + file.path() + "'", TESSARO_BINARY};
    through.directory = directory;
    return through;
  }
  std::string text() const {
    std::FILE* f = std::fopen(file.path().c_str(), "rb");
    std::string out;
    if (f == nullptr) return out;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) out.append(buffer, n);
    std::fclose(f);
    return out;
  }
};

// Warnings and errors about what the user named go to standard error in one form; -q leaves
// nothing but them.
TEST(ProgramCommandLine, WarningsAndErrorsGoToStandardError) {
  TempFile song(oneNoteSong(0x90, 0x3C));  // one measure long
  const std::string past =
      "starts at measure 999, past its end (it has 1 measure); nothing of it is played\n";
  struct Row {
    const char* name;
    std::vector<std::string> words;
    int status;
    std::string errors;
    std::string inOutput;  // a part of standard output; empty: none at all
  } rows[] = {
      {"slash values and a start past the end",
       {"/com1", "/zz", "/v500", "@999", "./song.mid"},
       0,
       "tessaro: /zz: no such option; ignored\n"
       "tessaro: /v500: the volume offset is -127 to +127; 127 is used\n"
       "tessaro: song.mid: " +
           past,
       "Volume = 127 \n"},
      {"a start past the end of a converted song",
       {"-o", "out.mid", "@999", "./song.mid"},
       0,
       "tessaro: ./song.mid: " + past,
       "1 song converted"},
      {"a dash value out of range",
       {"-r", "5", "./song.mid"},
       2,
       "tessaro: -r: takes a sample rate from 8000 to 192000 (Hz), not \"5\"\n",
       ""},
      {"quiet",
       {"-q", "/com1", "/zz", "./song.mid"},
       0,
       "tessaro: /zz: no such option; ignored\n",
       ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ErrorsToFile errors;
    ProgramProcess run(row.words, "", ProgramProcess::Keys::pipe, {}, errors.launch(song.dir()));
    ASSERT_EQ(run.setupError(), "");
    run.closeInput();
    EXPECT_EQ(run.finish(), row.status) << run.out();
    EXPECT_EQ(errors.text(), row.errors);
    if (row.inOutput.empty()) {
      EXPECT_EQ(run.out(), "");
    } else {
      EXPECT_NE(run.out().find(row.inOutput), std::string::npos) << run.out();
    }
    EXPECT_EQ(run.out().find("tessaro: "), std::string::npos) << run.out();
  }
}

// In a directory that holds files named --help and -o, those words are still the options.
TEST(ProgramCommandLine, DashWordsAreOptionsWhateverFilesExist) {
  TempFile song(oneNoteSong(0x90, 0x3C), "x.mid");
  for (const char* name : {"--help", "-o"}) {
    std::FILE* f = std::fopen((song.dir() + "/" + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  ProgramLaunch here;
  here.directory = song.dir();

  ProgramProcess help({"--help"}, "", ProgramProcess::Keys::pipe, {}, here);
  ASSERT_EQ(help.setupError(), "");
  help.closeInput();
  EXPECT_EQ(help.finish(), 0);
  EXPECT_EQ(help.out().rfind("Usage: tessaro", 0), 0u) << help.out();

  ProgramProcess convert({"-o", "out/", "x.mid"}, "", ProgramProcess::Keys::pipe, {}, here);
  ASSERT_EQ(convert.setupError(), "");
  convert.closeInput();
  EXPECT_EQ(convert.finish(), 0) << convert.out();
  std::FILE* converted = std::fopen((song.dir() + "/out/x.xg.mid").c_str(), "rb");
  EXPECT_NE(converted, nullptr) << convert.out();
  if (converted != nullptr) std::fclose(converted);
}

// "-" reads the songs' names from standard input, one a line.
TEST(ProgramCommandLine, SongNamesFromStandardInput) {
  TempFile song(oneNoteSong(0x91, 0x40));
  ProgramLaunch here;
  here.directory = song.dir();
  ProgramProcess run({"/com1", "-"}, "", ProgramProcess::Keys::pipe, {}, here);
  ASSERT_EQ(run.setupError(), "");
  for (char c : std::string("\nsong.mid\n")) run.pressKey(static_cast<uint8_t>(c));
  run.closeInput();
  EXPECT_EQ(run.finish(), 0) << run.out();
  EXPECT_TRUE(contains(run.wire(), {0x91, 0x40, 0x64})) << hex(run.wire());
  EXPECT_NE(run.out().find("[1/1] song.mid"), std::string::npos) << run.out();
}

}  // namespace
}  // namespace tessaro::testing
