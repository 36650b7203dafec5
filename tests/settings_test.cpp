// The settings file as a user writes it: which lines give which commands, what the reader
// itself prints, which names it queues, and how the file and the command line combine at
// start-up.
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

#include "support/app_rig.h"
#include "support/recording_commands.h"
#include "support/smf.h"
#include "support/temp_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace tessaro::testing {
namespace {

// A fresh directory, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir() { path_ = makeTempDir("tessaro-settings-"); }
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

// One pass over a settings file into recording commands. The current directory is an empty one
// unless a test fills it.
struct SettingsRun {
  TempDir root;
  std::string cwd = root.dir("cwd");
  std::string programDir = root.dir("prog") + "/";
  InDirectory inCwd{cwd};
  RecordingCommands commands;
  Log log;
  SystemFileSystem files;
  SettingsReader reader;
  bool opened = false;
  std::string home;

  SettingsRun() { log.startCapture(); }

  // Reads the text as the settings file in the given pass; what the pass printed on the
  // console (the error stream apart: errors()).
  std::string read(const std::string& text, int pass) {
    return readPath(root.file("cfg/tessaro.ini", text), pass);
  }
  std::string readPath(const std::string& path, int number) {
    log.clearCaptured();
    SettingsPass pass{commands, log, files, programDir, number, {}, {}, home};
    opened = readSettingsPass(reader, pass, path);
    return log.capturedOutput();
  }
  // What the last pass said on the error stream, the settings file's path written INI.
  std::string errors() const {
    std::string text = log.capturedErrors();
    const std::string path = root.path() + "/cfg/tessaro.ini";
    for (size_t at = text.find(path); at != std::string::npos; at = text.find(path, at))
      text.replace(at, path.size(), "INI");
    return text;
  }
  // The names the file queued.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const std::string& call : commands.calls)
      if (call.rfind("queue ", 0) == 0) names.push_back(call.substr(6));
    return names;
  }
};

struct OptionRow {
  const char* text;
  const char* printed;  // by the reader itself: its number errors and the names it echoes
  const char* commands;
};

void checkOptionRows(const std::vector<OptionRow>& rows, int pass) {
  for (const OptionRow& row : rows) {
    SettingsRun run;
    EXPECT_EQ(run.read(row.text, pass), row.printed) << row.text;
    EXPECT_EQ(run.commands.text(), row.commands) << row.text;
  }
}

constexpr const char* noFile = "Cannot retrive path for: ";

TEST(SettingsOptions, SecondPassGivesEveryOptionWithItsNumberRules) {
  checkOptionRows(
      {
          {"/@12\n", "", "measure 12"},
          {"/@-3\n", "", "measure 0"},
          {"/@\n", "", "measure 0"},
          {"/@12345\n", "", "measure 12345"},
          {"/@5 /@1234567\n", "Integer too Large.\n7\nCannot retrive path for: 7 \n",
           "measure 5; measure 0"},
          {"/@5 /@9", "", "measure 5; measure 0"},
          {"/.3\n", "", "beat 3"},
          {"/&5\n", "", "repeats 5"},
          {"/&+7\n", "", "repeats 7"},
          {"/&-2\n", "", "repeats 0"},
          {"/#43\n", "", "byte 43"},
          {"/#f0 -#7E\n", "", "byte F0; byte 7E"},
          {"/#12345\n", "", "byte 12345"},
          {"/#123456\n", "Hex value too Large.\n", "byte 0"},
          {"/#-5\n", "", "byte 0"},
          {"/#43", "", "byte 0"},
          {"/com3\n", "", ""},
          {"/co3\n", "3\nCannot retrive path for: 3 \n", ""},
          {"/c150\n", "", "fade interval 150"},
          {"/C0\n", "", "fade interval 1"},
          {"/c-5\n", "", "fade interval 1"},
          {"/c\n", "", "fade interval 1"},
          {"/c5 /c", "", "fade interval 5; fade interval 210"},
          {"/c50 /s7 /f\n", "", "fade interval 50; fade step 7; fade standard"},
          {"/c50 /s7 /f100\n", "", "fade interval 50; fade step 7; fade speed 100"},
          {"/c50 /f50", "", "fade interval 50; fade standard"},
          {"/F300\n", "", "fade speed 300"},
          {"/f1\n", "", "fade speed 1"},
          {"/s5\n", "", "fade step 5"},
          {"/s\n", "", "fade step 0"},
          {"/s9 /s5", "", "fade step 9; fade step 3"},
          {"/so\n", "", "console"},
          {"/SOC\n", "", "console"},
          {"/vol-20\n", "", "volume -20"},
          {"/v-20\n", "", "volume -20"},
          {"\xEF\xBB\xBF/v-20\n", "", "volume -20"},
          {"-VOL+20\n", "", "volume 20"},
          {"/v300\n", "", "volume 127"},
          {"/vo20\n", "20\nCannot retrive path for: 20 \n", ""},
          {"/v5 /v7", "", "volume 5; volume 0"},
          {"/gm\n", "", "conversion gm (said)"},
          {"/XG\n", "", "conversion xg (said)"},
          {"/nc\n", "", "conversion all off (said)"},
          {"-nx\n", "", "conversion off (said)"},
          {"/gs\n", "s\nCannot retrive path for: s \n", ""},
          {"/n5\n", "5\nCannot retrive path for: 5 \n", ""},
          // No display level here: a digit after the slash starts a file name.
          {"/5\n", "5\nCannot retrive path for: 5 \n", ""},
          {"/o out/ /j2\n", "", ""},
          // The port belongs to the first pass; the command line's requests are no settings.
          {"-p 24:0\n", "", ""},
          {"--help\n", "", ""},
          {"--shuffle --loop --seed 7 --seed=8\n", "", "shuffle; loop; seed 7; seed 8"},
          // An unquoted absolute path is what it was: an option that does nothing, then a name.
          {"/path/x.mid\n", "path/x.mid\nCannot retrive path for: path/x.mid \n", ""},
      },
      2);
}

TEST(SettingsOptions, FirstPassTakesOnlyTheComPort) {
  checkOptionRows(
      {
          {"/com3\n", "", "com 3"},
          {"/COM12\n", "", "com 12"},
          {"/com\n", "", "com 1"},
          {"/com0\n", "", "com 1"},
          {"/com7", "", "com 1"},
          {"/co3\n", "3\n", ""},
          {"/v-20 /c5 /s2 /f50 /#43 /gm /so /&3 /@2 /.4 song.mid\n", "song.mid\n", ""},
          {"/@1234567\n", "Integer too Large.\n7\n", ""},
          {"/o \"my out/\" /j3\n", "", "output my out/; jobs 3"},
          {"-OOUT.MID /J\n", "", "output OUT.MID; jobs 0"},
          {"-p 24:0\n", "", "port 24:0"},
          {"/P=/dev/ttyUSB0 /com2\n", "", "port /dev/ttyUSB0; com 2"},
          {"--port \"FLUID Synth\";x.mid\n", "x.mid\n", "port FLUID Synth"},
          {"--port=24:0\n", "", "port 24:0"},
          {"-p\n", "", ""},
      },
      1);
}

// A leading ~/ is the home directory; brackets are parts of names, not patterns.
TEST(SettingsWords, HomeDirectoryAndBracketsInNames) {
  SettingsRun run;
  run.root.file("cwd/song[1].mid");
  run.root.file("home/h.mid");
  run.home = run.root.path() + "/home";
  EXPECT_EQ(run.read("song[1].mid ~/h.mid\n", 2),
            "song[1].mid MIDI file: song[1].mid \n~/h.mid\nMIDI file: h.mid \n");
  EXPECT_EQ(run.entries(), (std::vector<std::string>{"song[1].mid", run.home + "/h.mid"}));
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
  EXPECT_EQ(bare.commands.text(), "");
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
      {"list.M3U", "Play list: list.M3U \n", "list.M3U"},
  };
  auto expand = [](std::string text, const std::string& prog) {
    size_t at = text.find("{prog}");
    return at == std::string::npos ? text : text.replace(at, 6, prog);
  };
  for (const Row& row : rows) {
    SettingsRun run;
    for (const char* name : {"here.mid", "both.mid", "song.MIDI", "song.mi", "song.txt", "noext",
                             "w/a.mid", "w/b.txt", "list.M3U"}) {
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
  EXPECT_EQ(run.errors(), "");
  // A directory is no settings file: said by the first pass, and not opened.
  const std::string dir = run.root.dir("tessaro.ini");
  for (int pass : {1, 2}) {
    EXPECT_EQ(run.readPath(dir, pass), "");
    EXPECT_FALSE(run.opened);
    EXPECT_EQ(run.errors(), pass == 1 ? "tessaro: " + dir + ": is a directory; not read\n" : "");
  }
  EXPECT_EQ(run.commands.text(), "");
  EXPECT_EQ(run.read("", 2), "");
  EXPECT_TRUE(run.opened);
}

// Binary garbage is no settings file: none of it is applied and not a byte of it is shown.
TEST(SettingsBadInput, RandomBytesAreRefusedWhole) {
  for (uint32_t seed : {1u, 77u, 12345u}) {
    std::string text;
    for (int i = 0; i < 65536; ++i) {
      seed = seed * 1103515245 + 12345;
      text.push_back(static_cast<char>(seed >> 16));
    }
    SettingsRun run;
    for (int i = 0; i < 3; ++i) run.root.file("cwd/s" + std::to_string(i) + ".mid");
    EXPECT_EQ(run.read(text, 1), "");
    EXPECT_EQ(run.errors().rfind("tessaro: INI: not a text file", 0), 0u) << run.errors();
    EXPECT_EQ(run.read(text, 2), "");
    EXPECT_FALSE(run.opened);
    EXPECT_EQ(run.commands.text(), "");
  }
}

// A line far longer than any settings line is skipped whole, without a word of it echoed.
TEST(SettingsBadInput, VeryLongLineIsSkippedAndNamed) {
  SettingsRun run;
  std::string song = run.root.file("x/song.mid");
  std::string text = std::string(10u << 20, 'a') + "\n\"" + song + "\"\n";
  EXPECT_EQ(run.read(text, 1), song + "\"");
  EXPECT_EQ(run.errors(), "tessaro: INI:1: longer than 8192 bytes; the line is skipped\n");
  EXPECT_EQ(run.read(text, 2), song + "\"MIDI file: song.mid \n");
  EXPECT_EQ(run.errors(), "");
  EXPECT_EQ(run.entries(), std::vector<std::string>{song});
}

// Lines that are not text (a binary file, a stray control byte) are skipped and named by their
// number, the lines around them read as ever; what the file holds wrong is said in the form
// "tessaro: FILE:LINE: ...", by the first pass or, for what the second applies, by the second.
TEST(SettingsBadInput, ProblemsNameTheFileAndTheLine) {
  const struct {
    std::string text;
    int pass;
    std::string commands;
    std::string errors;
  } rows[] = {
      {"/v5\n\x01\x02/v9 x\n/s4\n", 2, "volume 5; fade step 4", ""},
      {"/v5\n\x01\x02/v9 x\n/s4\n", 1, "", "INI:2: not text (control bytes); the line is skipped"},
      {std::string("a\0b.mid\n/v3\n", 12), 1, "",
       "INI: not a text file (it holds NUL bytes: saved as UTF-16?); not read"},
      {std::string("a\0b.mid\n/v3\n", 12), 2, "", ""},
      {"/v1\x7f\n", 1, "", "INI:1: not text (control bytes); the line is skipped"},
      // Line ends: CR LF, CR alone and 0x1A each end one line.
      {"/v1\r\n\x07\r\n/v2\n", 2, "volume 1; volume 2", ""},
      {"/v1\r\n\x07\r\n/v2", 1, "", "INI:2: not text (control bytes); the line is skipped"},
      {"/v1\r\r\x07\r/v2", 1, "", "INI:3: not text (control bytes); the line is skipped"},
      {"/v1\x1a\x07", 1, "", "INI:2: not text (control bytes); the line is skipped"},
      {"/v1\t/s2\n", 2, "volume 1; fade step 2", ""},
      {"#" + std::string(8191, 'x') + "\n/v6\n", 2, "volume 6", ""},
      {"#" + std::string(8192, 'x') + "\n/v6", 1, "",
       "INI:1: longer than 8192 bytes; the line is skipped"},
      // A comment goes on across a line skipped in it.
      {"/* x\n\x01\n*/ /v4\n", 2, "volume 4", ""},
      // More lines of control bytes than are named: a binary file, none of it read.
      {"\x01\n\n\x01\n\x02\n\x03\n\x04\n\x05\n/v8\n", 2, "", ""},
      {"\x01\n\n\x01\n\x02\n\x03\n\x04\n\x05\n/v8\n", 1, "",
       "INI: not a text file (6 lines hold control bytes); not read"},
      {"\x01\n\x02\n\x03\n\x04\n\x05\n/v8\n", 2, "volume 8", ""},
      {[] {
         std::string lines;
         for (int i = 0; i < 7; ++i) lines += std::string(8193, 'x') + "\n";
         return lines;
       }(),
       1, "",
       "INI:1: longer than 8192 bytes; the line is skipped\n"
       "tessaro: INI:2: longer than 8192 bytes; the line is skipped\n"
       "tessaro: INI:3: longer than 8192 bytes; the line is skipped\n"
       "tessaro: INI:4: longer than 8192 bytes; the line is skipped\n"
       "tessaro: INI:5: longer than 8192 bytes; the line is skipped\n"
       "tessaro: INI: 2 more lines skipped (not text or too long)"},
      // Values out of what the help says.
      {"\n/com100\n", 1, "", "INI:2: /com100: the COM port is 1 to 99; ignored"},
      {"/com-2 /com4\n", 1, "com 4", "INI:1: /com-2: the COM port is 1 to 99; ignored"},
      {"/v-300\n", 2, "volume -127",
       "INI:1: /v-300: the volume offset is -127 to +127; -127 is used"},
      {"/@1234567\n", 1, "", "INI:1: a number has at most 5 digits; 0 is used"},
      {"/@1234567\n", 2, "measure 0", "INI:1: 7: no such file; not played"},
      // Names that are not taken.
      {"\n\"missing.mid\"\nnotes.txt\n", 2, "",
       "INI:2: missing.mid: no such file; not played\n"
       "tessaro: INI:3: notes.txt: not a MIDI file name (.mid); not played"},
      // Long options: the command line's, checked as there; requests and lists are no settings.
      {"--soundfont \"/a b.sf2\" --rate=48000 --gain 0.5\n--type WAV --no-clobber --quiet", 1,
       "soundfont /a b.sf2; rate 48000; gain 0.500000; type wav; no clobber; quiet", ""},
      {"--soundfont x.sf2 --verbose --rate 48000", 2, "verbose", ""},
      {"--help\n--files-from list.txt\n--xyz", 1, "",
       "INI:1: --help: not taken in the settings file; ignored\n"
       "tessaro: INI:2: --files-from: not taken in the settings file; ignored\n"
       "tessaro: INI:3: --xyz: not taken in the settings file; ignored"},
      {"--rate 5 --type mp3 --jobs=x --port", 1, "",
       "INI:1: --rate: takes a sample rate from 8000 to 192000 (Hz), not \"5\"; ignored\n"
       "tessaro: INI:1: --type: takes a type: mid, wav, flac or ogg, not \"mp3\"; ignored\n"
       "tessaro: INI:1: --jobs: takes a number of songs from 0 to 256 (0: one per core), not "
       "\"x\"; ignored\n"
       "tessaro: INI:1: --port: needs a port (tessaro -l lists them); ignored"},
      {"--rate 5 --jobs 2", 2, "", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text.substr(0, 60) + " (pass " + std::to_string(row.pass) + ")");
    SettingsRun run;
    run.root.file("cwd/notes.txt");
    run.read(row.text, row.pass);
    EXPECT_EQ(run.commands.text(), row.commands);
    EXPECT_EQ(run.errors(), row.errors.empty() ? "" : "tessaro: " + row.errors + "\n");
  }
}

#ifndef _WIN32
// Files that are no regular file are named and skipped at once: a FIFO without a writer would
// hold the open for ever, a device such as /dev/zero never ends.
TEST(SettingsBadInput, FifoAndDeviceAreSkippedAtOnce) {
  SettingsRun run;
  const std::string fifo = run.root.path() + "/fifo.ini";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::string path;
    std::string said;
  } rows[] = {
      {fifo, "is a FIFO (a pipe), not a file; not read"},
      {"/dev/zero", "is a device, not a file; not read"},
  };
  for (const auto& row : rows) {
    for (int pass : {1, 2}) {
      EXPECT_EQ(run.readPath(row.path, pass), "");
      EXPECT_FALSE(run.opened);
      EXPECT_EQ(run.errors(), pass == 1 ? "tessaro: " + row.path + ": " + row.said + "\n" : "");
    }
  }
  EXPECT_EQ(run.commands.text(), "");
}
#endif

TEST(SettingsBadInput, EveryNameIsQueuedInOrder) {
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
  EXPECT_EQ(run.entries(), names);
}

Bytes song(uint8_t key) {
  Track t;
  t.ev(0, {0x90, key, 0x40}).ev(480, {0x80, key, 0x00}).end();
  return smf(0, 480, {t});
}

std::string songText(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

TEST(SettingsStartUp, CommandLineOverridesTheFileAndItsSongsFollowTheFiles) {
  TempDir dir;
  std::string first = dir.file("first.mid", songText(song(60)));
  std::string second = dir.file("second.mid", songText(song(62)));
  AppRig run;
  run.environment.settings = dir.file("tessaro.ini", "/com3 /v-20\n\"" + first + "\"\n");
  EXPECT_EQ(run.run({"/com5", "/v10", second}), 0);
  std::string out = run.log.captured();
  // Each name in the file is echoed by both passes.
  std::string pass1 = "COM port = COM3 \n" + first + "\"COM port = COM5 \n";
  std::string pass2 = "Volume = -20 \n" + first + "\"MIDI file: first.mid \nVolume = 10 \n";
  EXPECT_NE(out.find(pass1), std::string::npos) << out;
  EXPECT_NE(out.find(pass2), std::string::npos) << out;
  EXPECT_EQ(run.serial.opened, std::vector<int>{5});
  EXPECT_EQ(run.program().options.volumeAdd, 10);
  EXPECT_EQ(notesPlayed(run.serial), (std::vector<int>{60, 62}));
}

TEST(SettingsStartUp, FileBesideTheProgramNamesASongBesideIt) {
  TempDir dir;
  std::string programDir = dir.dir("prog") + "/";
  dir.file("prog/tune.mid", songText(song(64)));
  dir.file("prog/tessaro.ini", "tune.mid\n");
  InDirectory inCwd(dir.dir("cwd"));
  AppRig run;
  run.environment.path = programDir + "tessaro";
  EXPECT_EQ(run.run({"/com1"}), 0);
  EXPECT_EQ(notesPlayed(run.serial), std::vector<int>{64});
  EXPECT_EQ(run.program().cue.entries[0], programDir + "tune.mid");
}

TEST(SettingsStartUp, UnreadableFileLeavesTheCommandLineToPlay) {
  TempDir dir;
  std::string only = dir.file("only.mid", songText(song(65)));
  AppRig run;
  run.environment.settings = dir.dir("tessaro.ini");
  EXPECT_EQ(run.run({"/com1", only}), 0);
  EXPECT_EQ(notesPlayed(run.serial), std::vector<int>{65});
}

}  // namespace
}  // namespace tessaro::testing
