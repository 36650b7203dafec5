// The settings file as a user writes it: which lines set which values, what each pass prints,
// which bytes go straight to the port, which names join the play list, and how the file and
// the command line combine at start-up.
#include "app/settings.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "app/program.h"
#include "support/player_rig.h"
#include "support/system_platform.h"
#include "support/temp_dir.h"

// The option tables name only the values a row changes; the others keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace tessaro::testing {
namespace {

// A fresh directory, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir() {
    path_ = makeTempDir("tessaro-settings-");
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  // Writes a file (directories on the way are made) and returns its full path.
  std::string file(const std::string& name, const std::string& text = "") const {
    std::string full = path_ + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(full).parent_path());
    std::ofstream(full, std::ios::binary) << text;
    return full;
  }
  std::string dir(const std::string& name) const {
    std::filesystem::create_directories(path_ + "/" + name);
    return path_ + "/" + name;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Runs a test in a directory of its own, so that names in the file are looked up there.
class InDirectory {
 public:
  explicit InDirectory(const std::string& dir) : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~InDirectory() { std::filesystem::current_path(saved_); }

 private:
  std::filesystem::path saved_;
};

// One pass over a settings file, with the port open on a serial line (COM1) so that direct
// bytes can be read back. The current directory is an empty one unless a test fills it.
struct SettingsRun {
  TempDir root;
  std::string cwd = root.dir("cwd");
  std::string programDir = root.dir("prog") + "/";
  InDirectory inCwd{cwd};
  PlayerRig rig;
  FileCue cue;
  SystemFileSystem files;
  SettingsReader reader;
  bool opened = false;

  // Reads the text as the settings file in the given pass; what the pass printed.
  std::string read(const std::string& text, int pass) {
    return readPath(root.file("cfg/tessaro.ini", text), pass);
  }
  std::string readPath(const std::string& path, int number) {
    rig.log.clearCaptured();
    SettingsPass pass{OptionSinks{rig.options, rig.engine, cue, rig.log}, files, programDir,
                      number};
    opened = readSettingsPass(reader, pass, path);
    return rig.log.captured();
  }
  std::vector<std::string> entries() const {
    return std::vector<std::string>(cue.entries.begin(), cue.entries.begin() + cue.length);
  }
};

// Every value a settings line can change.
struct Effects {
  int32_t comPort = 0;
  int32_t skipToMeasure = 0;
  int32_t skipToBeat = 0;
  int32_t repeatCount = 0;
  bool repeatSetByUser = false;
  int32_t fadeInterval = 210;
  int32_t fadeStep = 3;
  int32_t volumeAdd = 0;
  int32_t volumeOffset = 0;
  bool consoleMode = false;
  int32_t conventionFlags = 2;
  std::array<int32_t, 3> targets{0, 0, 0};  // to XG, to GM, to GS
  Bytes sent;
  int dispLevel = 0;
  bool operator==(const Effects&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Effects& e) {
  out << "com " << e.comPort << " meas " << e.skipToMeasure << " beat " << e.skipToBeat
      << " repeat " << e.repeatCount << (e.repeatSetByUser ? " (user)" : "") << " interval "
      << e.fadeInterval << " step " << e.fadeStep << " volume " << e.volumeAdd << "/"
      << e.volumeOffset << " console " << e.consoleMode << " flags " << e.conventionFlags
      << " targets " << e.targets[0] << "," << e.targets[1] << "," << e.targets[2] << " disp "
      << e.dispLevel << " sent";
  for (uint8_t b : e.sent) out << " " << int(b);
  return out;
}

Effects effectsOf(const SettingsRun& run) {
  const PlayerState& s = run.rig.engine.state;
  const PlaybackOptions& o = run.rig.options;
  const TargetMap& t = run.rig.engine.targets;
  return Effects{o.comPort,
                 o.skipToMeasure,
                 o.skipToBeat,
                 s.repeatCount,
                 s.repeatSetByUser != 0,
                 s.fadeInterval,
                 s.fadeStep,
                 o.volumeAdd,
                 s.volumeOffset,
                 o.consoleMode,
                 o.initialConventionFlags,
                 {t.toXg[0], t.toGm[0], t.toGs[0]},
                 run.rig.serial.bytes(),
                 o.DispLevel};
}

struct OptionRow {
  const char* text;
  const char* printed;
  Effects effects;
};

void checkOptionRows(const std::vector<OptionRow>& rows, int pass) {
  for (const OptionRow& row : rows) {
    SettingsRun run;
    EXPECT_EQ(run.read(row.text, pass), row.printed) << row.text;
    EXPECT_EQ(effectsOf(run), row.effects) << row.text;
    EXPECT_EQ(run.cue.length, 0) << row.text;
  }
}

constexpr const char* noFile = "Cannot retrive path for: ";

TEST(SettingsOptions, SecondPassAppliesEveryOptionWithItsNumberRules) {
  checkOptionRows(
      {
          {"/@12\n", "Skip to Meas = 12 \n", {.skipToMeasure = 12}},
          {"/@-3\n", "Skip to Meas = 0 \n", {}},
          {"/@\n", "Skip to Meas = 0 \n", {}},
          {"/@12345\n", "Skip to Meas = 12345 \n", {.skipToMeasure = 12345}},
          {"/@5 /@1234567\n",
           "Skip to Meas = 5 \nInteger too Large.\nSkip to Meas = 0 \n7\n"
           "Cannot retrive path for: 7 \n",
           {}},
          {"/@5 /@9", "Skip to Meas = 5 \nSkip to Meas = 0 \n", {}},
          {"/.3\n", "Skip to Beat = 3 \n", {.skipToBeat = 3}},
          {"/&5\n", "Repeat Time = 5 \n", {.repeatCount = 5, .repeatSetByUser = true}},
          {"/&+7\n", "Repeat Time = 7 \n", {.repeatCount = 7, .repeatSetByUser = true}},
          {"/&-2\n", "Repeat Time = 0 \n", {.repeatSetByUser = true}},
          {"/#43\n", "0043 ", {.sent = {0x43}}},
          {"/#f0 -#7E\n", "00F0 007E ", {.sent = {0xF0, 0x7E}}},
          {"/#12345\n", "12345 ", {.sent = {0x45}}},
          {"/#123456\n", "Hex value too Large.\n0000 ", {.sent = {0x00}}},
          {"/#-5\n", "0000 ", {.sent = {0x00}}},
          {"/#43", "0000 ", {.sent = {0x00}}},
          {"/com3\n", "", {}},
          {"/co3\n", "3\nCannot retrive path for: 3 \n", {}},
          {"/c150\n", "FadeOutCycleTime = 150 \n", {.fadeInterval = 150}},
          {"/C0\n", "FadeOutCycleTime = 1 \n", {.fadeInterval = 1}},
          {"/c-5\n", "FadeOutCycleTime = 1 \n", {.fadeInterval = 1}},
          {"/c\n", "FadeOutCycleTime = 1 \n", {.fadeInterval = 1}},
          {"/c5 /c", "FadeOutCycleTime = 5 \nFadeOutCycleTime = 210 \n", {}},
          {"/c50 /s7 /f\n",
           "FadeOutCycleTime = 50 \nFadeOutVolStep = 7 \nFadeOutSpeed = std. (100) \n",
           {}},
          {"/c50 /s7 /f100\n",
           "FadeOutCycleTime = 50 \nFadeOutVolStep = 7 \nFadeOutSpeed = 100 \n",
           {}},
          {"/c50 /f50", "FadeOutCycleTime = 50 \nFadeOutSpeed = std. (100) \n", {}},
          {"/F300\n", "FadeOutSpeed = 300 \n", {.fadeInterval = 125, .fadeStep = 5}},
          {"/f1\n", "FadeOutSpeed = 2 \n", {.fadeInterval = 10500}},
          {"/s5\n", "FadeOutVolStep = 5 \n", {.fadeStep = 5}},
          {"/s\n", "FadeOutVolStep = 0 \n", {.fadeStep = 0}},
          {"/s9 /s5", "FadeOutVolStep = 9 \nFadeOutVolStep = 3 \n", {}},
          {"/so\n", "Console mode: ON.\n", {.consoleMode = true}},
          {"/SOC\n", "Console mode: ON.\n", {.consoleMode = true}},
          {"/vol-20\n", "Volume = -20 \n", {.volumeAdd = -20, .volumeOffset = -20}},
          {"/v-20\n", "Volume = -20 \n", {.volumeAdd = -20, .volumeOffset = -20}},
          {"\xEF\xBB\xBF/v-20\n", "Volume = -20 \n", {.volumeAdd = -20, .volumeOffset = -20}},
          {"-VOL+20\n", "Volume = 20 \n", {.volumeAdd = 20, .volumeOffset = 20}},
          {"/v300\n", "Volume = 300 \n", {.volumeAdd = 300, .volumeOffset = 255}},
          {"/vo20\n", "20\nCannot retrive path for: 20 \n", {}},
          {"/v5 /v7", "Volume = 5 \nVolume = 0 \n", {}},
          {"/gm\n",
           "GS => GM conversion AUTO-DETECT.\n",
           {.conventionFlags = 0, .targets = {0, -1, 0}}},
          {"/XG\n", "GS => XG conversion AUTO-DETECT.\n", {.targets = {-1, 0, 0}}},
          {"/nc\n", "88GS/XG/GM conversion ALL OFF.\n", {.conventionFlags = 0}},
          {"-nx\n", "GS => XG conversion OFF.\n", {.conventionFlags = 0}},
          {"/gs\n", "s\nCannot retrive path for: s \n", {}},
          {"/n5\n", "5\nCannot retrive path for: 5 \n", {}},
          // No display level here: a digit after the slash starts a file name.
          {"/5\n", "5\nCannot retrive path for: 5 \n", {}},
      },
      2);
}

TEST(SettingsOptions, FirstPassTakesOnlyTheComPort) {
  checkOptionRows(
      {
          {"/com3\n", "COM port = COM3 \n", {.comPort = 3}},
          {"/COM12\n", "COM port = COM12 \n", {.comPort = 12}},
          {"/com\n", "COM port = COM1 \n", {.comPort = 1}},
          {"/com0\n", "COM port = COM1 \n", {.comPort = 1}},
          {"/com7", "COM port = COM1 \n", {.comPort = 1}},
          {"/co3\n", "3\n", {}},
          {"/v-20 /c5 /s2 /f50 /#43 /gm /so /&3 /@2 /.4 song.mid\n", "song.mid\n", {}},
          {"/@1234567\n", "Integer too Large.\n7\n", {}},
      },
      1);
}

// The current directory holds a.mid and "b c.mid".
TEST(SettingsWords, CommentsSeparatorsAndQuotes) {
  struct Row {
    const char* text;
    const char* printed;
    std::vector<std::string> cue;
  } rows[] = {
      {"a.mid\n", "a.mid\nMIDI file: a.mid \n", {"a.mid"}},
      {"# x.mid\na.mid\n", "a.mid\nMIDI file: a.mid \n", {"a.mid"}},
      {"' x.mid\na.mid\n", "a.mid\nMIDI file: a.mid \n", {"a.mid"}},
      {"// x.mid\na.mid\n", "a.mid\nMIDI file: a.mid \n", {"a.mid"}},
      {"a.mid # x.mid\n", "a.mid MIDI file: a.mid \n", {"a.mid"}},
      {"/* x.mid\ny.mid */a.mid\n", "a.mid\nMIDI file: a.mid \n", {"a.mid"}},
      {"/**/a.mid\n", "a.mid\nMIDI file: a.mid \n", {"a.mid"}},
      {"/*/a.mid\n", "a.mid\nMIDI file: a.mid \n", {"a.mid"}},
      // A double-byte character whose second byte is '*' or '/' does not end the comment.
      {"/*\x81*/ x.mid */a.mid\n", "a.mid\nMIDI file: a.mid \n", {"a.mid"}},
      {"/* *\x81/ x.mid */a.mid\n", "a.mid\nMIDI file: a.mid \n", {"a.mid"}},
      {"/* x.mid\na.mid\n", "", {}},
      {"a.mid ; comment\n",
       "a.mid MIDI file: a.mid \ncomment\nCannot retrive path for: comment \n",
       {"a.mid"}},
      {"a.mid ;", "a.mid MIDI file: a.mid \n", {"a.mid"}},
      {"=:,a.mid\r\n", "a.mid\rMIDI file: a.mid \n", {"a.mid"}},
      {"\x1A"
       "a.mid\x1A",
       "a.mid\x1AMIDI file: a.mid \n",
       {"a.mid"}},
      {"\x81\x40"
       "a.mid\n",
       "a.mid\nMIDI file: a.mid \n",
       {"a.mid"}},
      // Editors that save UTF-8 with a byte-order mark: the mark is no part of the first word.
      {"\xEF\xBB\xBF"
       "a.mid\n",
       "a.mid\nMIDI file: a.mid \n",
       {"a.mid"}},
      {"\"b c.mid\"\n", "b c.mid\"MIDI file: b c.mid \n", {"b c.mid"}},
      {"b c.mid\n", "b Cannot retrive path for: b \nc.mid\nCannot retrive path for: c.mid \n", {}},
      {"\"\"\n", "\"", {}},
      {"a.mid\t\"b c.mid\"",
       "a.mid\tMIDI file: a.mid \nb c.mid\"MIDI file: b c.mid \n",
       {"a.mid", "b c.mid"}},
  };
  for (const Row& row : rows) {
    SettingsRun run;
    run.root.file("cwd/a.mid");
    run.root.file("cwd/b c.mid");
    EXPECT_EQ(run.read(row.text, 2), row.printed) << row.text;
    EXPECT_EQ(run.entries(), row.cue) << row.text;
  }
}

TEST(SettingsWords, AbsolutePathsAreWrittenInQuotes) {
  SettingsRun run;
  std::string song = run.root.file("x/song.mid");
  EXPECT_EQ(run.read("\"" + song + "\"\n", 2), song + "\"MIDI file: song.mid \n");
  EXPECT_EQ(run.entries(), std::vector<std::string>{song});

  // Unquoted, the leading '/' starts an option and the rest is a relative name. (A path with a
  // drive letter is taken without it, so that it too begins with the separator.)
  SettingsRun bare;
  std::string rooted = song.size() > 2 && song[1] == ':' ? song.substr(2) : song;
  std::string relative = rooted.substr(1);
  EXPECT_EQ(bare.read(rooted + "\n", 2), relative + "\n" + noFile + relative + " \n");
  EXPECT_EQ(bare.cue.length, 0);
}

TEST(SettingsWords, LongNameIsCutAt258AndTheRestIsAFurtherWord) {
  const std::string head(258, 'a');
  const std::string tail = std::string(37, 'b') + ".mid";
  const std::string name = head + "X" + tail;  // 300 characters; the X is lost
  ASSERT_EQ(name.size(), 300u);
  for (const std::string& text : {name + "\n", "\"" + name + "\"\n"}) {
    bool quoted = text[0] == '"';
    SettingsRun run;
    run.root.file("cwd/" + tail);
    std::string echo2 = tail + (quoted ? "\"" : "\n");
    EXPECT_EQ(run.read(text, 2),
              head + "X" + noFile + head + " \n" + echo2 + "MIDI file: " + tail + " \n");
    EXPECT_EQ(run.entries(), std::vector<std::string>{tail});
    EXPECT_EQ(run.read(text, 1), head + "X" + echo2);
  }
}

// A name in the file: the current directory first, then the program's directory; only
// names with a .mid extension (any case, .midi too) join the list.
TEST(SettingsWords, FileNameTests) {
  struct Row {
    const char* word;
    std::string message;  // {prog} stands for the program's directory
    std::string entry;    // empty: nothing added
  } rows[] = {
      {"here.mid", "MIDI file: here.mid \n", "here.mid"},
      {"there.mid", "MIDI file: there.mid \n", "{prog}there.mid"},
      {"both.mid", "MIDI file: both.mid \n", "both.mid"},
      {"there.txt", "Cannot play file other than MIDI: {prog}there.txt \n", ""},
      {"./there.mid", "Cannot retrive path for: ./there.mid \n", ""},
      {"./here.mid", "MIDI file: here.mid \n", "./here.mid"},
      {"missing.mid", "Cannot retrive path for: missing.mid \n", ""},
      {"sub", "Cannot retrive path for: sub \n", ""},
      {"song.MIDI", "MIDI file: song.MIDI \n", "song.MIDI"},
      {"song.mi", "Cannot play file other than MIDI: song.mi \n", ""},
      {"song.txt", "Cannot play file other than MIDI: song.txt \n", ""},
      {"noext", "Cannot play file other than MIDI: noext \n", ""},
      {"w/*.mid", "MIDI file: a.mid \n", "w/*.mid"},
      {"w/b*", "Cannot play file other than MIDI: w/b* \n", ""},
  };
  auto expand = [](std::string text, const std::string& prog) {
    size_t at = text.find("{prog}");
    return at == std::string::npos ? text : text.replace(at, 6, prog);
  };
  for (const Row& row : rows) {
    SettingsRun run;
    for (const char* name : {"here.mid", "both.mid", "song.MIDI", "song.mi", "song.txt", "noext",
                             "w/a.mid", "w/b.txt"}) {
      run.root.file(std::string("cwd/") + name);
    }
    run.root.dir("cwd/sub");
    for (const char* name : {"there.mid", "both.mid", "there.txt"}) {
      run.root.file(std::string("prog/") + name);
    }
    EXPECT_EQ(run.read(std::string(row.word) + "\n", 2),
              row.word + std::string("\n") + expand(row.message, run.programDir))
        << row.word;
    std::vector<std::string> cue;
    if (!row.entry.empty()) cue.push_back(expand(row.entry, run.programDir));
    EXPECT_EQ(run.entries(), cue) << row.word;
  }
}

// A file with bytes above 127 that is valid UTF-8 is read as UTF-8; any other keeps the
// Shift-JIS pairs, where a lead byte takes the next byte with it whatever it is.
TEST(SettingsWords, Utf8NamesKeepTheirClosingQuote) {
  const std::string name = "\xE3\x81\x82";  // a kana ending in 0x82, a Shift-JIS lead byte
  SettingsRun utf8;
  EXPECT_EQ(utf8.read("\"" + name + "\"\nb.mid\n", 2),
            name + "\"" + noFile + name + " \nb.mid\n" + noFile + "b.mid \n");

  SettingsRun shiftJis;
  const std::string comment = "# \x82\xA0\n";  // a Shift-JIS kana: not UTF-8
  std::string rest = name + "\"\nb.mid\n";     // the quote is taken as a second byte
  EXPECT_EQ(shiftJis.read(comment + "\"" + rest, 2), rest + noFile + rest + " \n");

  // The same in a block comment: in UTF-8 the comment ends at "*/".
  SettingsRun utf8Comment;
  utf8Comment.root.file("cwd/a.mid");
  EXPECT_EQ(utf8Comment.read("/* " + name + "*/a.mid\n", 2), "a.mid\nMIDI file: a.mid \n");
  SettingsRun shiftJisComment;
  shiftJisComment.root.file("cwd/a.mid");
  EXPECT_EQ(shiftJisComment.read(comment + "/* " + name + "*/a.mid\n", 2), "");
}

TEST(SettingsBadInput, MissingOrUnreadableFileIsSkippedSilently) {
  SettingsRun run;
  EXPECT_EQ(run.readPath(run.root.path() + "/no/such/tessaro.ini", 2), "");
  EXPECT_FALSE(run.opened);
  // A directory opens as a file here but cannot be read.
  for (int pass : {1, 2}) {
    EXPECT_EQ(run.readPath(run.root.dir("tessaro.ini"), pass), "");
    EXPECT_FALSE(run.opened);
  }
  EXPECT_EQ(effectsOf(run), Effects{});
  EXPECT_EQ(run.read("", 2), "");
  EXPECT_TRUE(run.opened);
}

TEST(SettingsBadInput, RandomBytesAreSurvived) {
  for (uint32_t seed : {1u, 77u, 12345u}) {
    std::string text;
    for (int i = 0; i < 65536; ++i) {
      seed = seed * 1103515245 + 12345;
      text.push_back(static_cast<char>(seed >> 16));
    }
    SettingsRun run;
    for (int i = 0; i < 3; ++i) run.root.file("cwd/s" + std::to_string(i) + ".mid");
    run.read(text, 1);
    run.read(text, 2);
    EXPECT_TRUE(run.opened);
    EXPECT_LE(run.cue.length, CueCapacity);
  }
}

TEST(SettingsBadInput, HundredThousandByteLineIsReadAsCutWords) {
  SettingsRun run;
  std::string song = run.root.file("x/song.mid");
  std::string out = run.read(std::string(100000, 'a') + "\n\"" + song + "\"\n", 2);
  // 386 words of 258 characters, each losing one more, then the last 26.
  size_t messages = 0;
  for (size_t at = out.find(noFile); at != std::string::npos; at = out.find(noFile, at + 1)) {
    ++messages;
  }
  EXPECT_EQ(messages, 387u);
  EXPECT_NE(out.find(noFile + std::string(26, 'a') + " \n"), std::string::npos);
  EXPECT_EQ(run.entries(), std::vector<std::string>{song});
}

TEST(SettingsBadInput, OnlyTheFirstHundredNamesJoinTheList) {
  SettingsRun run;
  std::string text;
  std::vector<std::string> names;
  for (int i = 0; i < 150; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "s%03d.mid", i);
    names.push_back(name);
    run.root.file(std::string("cwd/") + name);
    text += std::string(name) + "\n";
  }
  run.read(text, 2);
  names.resize(CueCapacity);
  EXPECT_EQ(run.entries(), names);
}

// The whole start-up in virtual time, with the settings file where the environment says.
struct ProgramRun {
  VirtualClock clock;
  SyncThreads threads;
  FakePriorities priorities;
  ScriptedConsole console;
  CaptureSerialPorts serial{clock};
  CaptureMidiOutputs midi{clock};
  SystemFileSystem files;
  FakeEnvironment environment;
  Log log;
  platform::Services services{&clock,  &threads, &priorities, &console,
                              &serial, &midi,    &files,      &environment};
  App app{services, log};

  ProgramRun() { log.startCapture(); }
  int operator()(std::vector<std::string> words) {
    words.insert(words.begin(), "/opt/tessaro/tessaro");
    return runProgram(app, words);
  }
};

Bytes song(uint8_t key) {
  Track t;
  t.ev(0, {0x90, key, 0x40}).ev(480, {0x80, key, 0x00}).end();
  return smf(0, 480, {t});
}

std::string songText(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

std::vector<int> notesPlayed(const CaptureSerialPorts& serial) {
  std::vector<int> keys;
  for (const auto& w : serial.writes) {
    if (w.bytes.size() == 3 && (w.bytes[0] & 0xF0) == 0x90 && w.bytes[2] > 0)
      keys.push_back(w.bytes[1]);
  }
  return keys;
}

TEST(SettingsStartUp, CommandLineOverridesTheFileAndItsSongsFollowTheFiles) {
  TempDir dir;
  std::string first = dir.file("first.mid", songText(song(60)));
  std::string second = dir.file("second.mid", songText(song(62)));
  ProgramRun run;
  run.environment.settings = dir.file("tessaro.ini", "/com3 /v-20\n\"" + first + "\"\n");
  EXPECT_EQ(run({"/com5", "/v10", second}), 0);
  std::string out = run.log.captured();
  // Each name in the file is echoed by both passes.
  std::string pass1 = "COM port = COM3 \n" + first + "\"COM port = COM5 \n";
  std::string pass2 = "Volume = -20 \n" + first + "\"MIDI file: first.mid \nVolume = 10 \n";
  EXPECT_NE(out.find(pass1), std::string::npos) << out;
  EXPECT_NE(out.find(pass2), std::string::npos) << out;
  EXPECT_EQ(run.serial.opened, std::vector<int>{5});
  EXPECT_EQ(run.app.options.volumeAdd, 10);
  EXPECT_EQ(notesPlayed(run.serial), (std::vector<int>{60, 62}));
}

TEST(SettingsStartUp, FileBesideTheProgramNamesASongBesideIt) {
  TempDir dir;
  std::string programDir = dir.dir("prog") + "/";
  dir.file("prog/tune.mid", songText(song(64)));
  dir.file("prog/tessaro.ini", "tune.mid\n");
  InDirectory inCwd(dir.dir("cwd"));
  ProgramRun run;
  run.environment.path = programDir + "tessaro";
  EXPECT_EQ(run({"/com1"}), 0);
  EXPECT_EQ(notesPlayed(run.serial), std::vector<int>{64});
  EXPECT_EQ(run.app.cue.entries[0], programDir + "tune.mid");
}

TEST(SettingsStartUp, UnreadableFileLeavesTheCommandLineToPlay) {
  TempDir dir;
  std::string only = dir.file("only.mid", songText(song(65)));
  ProgramRun run;
  run.environment.settings = dir.dir("tessaro.ini");
  EXPECT_EQ(run({"/com1", only}), 0);
  EXPECT_EQ(notesPlayed(run.serial), std::vector<int>{65});
}

}  // namespace
}  // namespace tessaro::testing
