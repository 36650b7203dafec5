// The command line as a user types it: which words give which commands, in which order, and
// which words are file names. What each command does is tested with the commands.
#include "app/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "support/recording_commands.h"

namespace {

using namespace tessaro;
using tessaro::testing::RecordingCommands;

// Words as the parser sees them on a system where the names in `files` exist and ~ is
// /home/u.
struct Rig {
  RecordingCommands commands;
  std::vector<std::string> files;

  CommandLine parse(std::vector<std::string> words) {
    words.insert(words.begin(), "tessaro");
    WordFacts facts{[this](const std::string& w) {
                      return std::find(files.begin(), files.end(), w) != files.end();
                    },
                    "/home/u"};
    return parseCommandLine(words, facts);
  }
  // The commands of one stage, or the parse's error.
  std::string stage(const std::vector<std::string>& words, Stage which) {
    CommandLine line = parse(words);
    applyCommandLine(commands, line, which);
    return line.error.empty() ? commands.text() : line.error;
  }
  // The warnings on the words, as "WORD: what", separated by "; ".
  std::string warnings(const std::vector<std::string>& words) {
    std::string text;
    for (const OptionWarning& w : parse(words).warnings)
      text += (text.empty() ? "" : "; ") + w.word + ": " + w.what;
    return text;
  }
};

std::string joined(const std::vector<std::string>& words) {
  std::string text;
  for (const auto& w : words) text += (text.empty() ? "" : " ") + w;
  return text;
}

struct WordsCase {
  std::vector<std::string> words;
  std::string commands;
};

void checkStage(Stage stage, const std::vector<WordsCase>& cases,
                const std::vector<std::string>& files = {}) {
  for (const auto& c : cases) {
    SCOPED_TRACE(joined(c.words));
    Rig rig;
    rig.files = files;
    EXPECT_EQ(rig.stage(c.words, stage), c.commands);
  }
}

TEST(CommandLine, EachWordGivesItsCommand) {
  const std::vector<WordsCase> cases = {
      // Start position and repeats.
      {{"@12"}, "measure 12"},
      {{"@-5"}, "measure -5"},
      {{"@x"}, "measure 0"},
      {{".3"}, "beat 3"},
      {{".\\song.mid"}, "beat 0"},
      {{"&4"}, "repeats 4"},
      {{"&x"}, "repeats 0"},
      // Direct bytes, in order with everything else.
      {{"#F0", "#43"}, "byte F0; byte 43"},
      {{"#F0", "song.mid", "/v5", "#43"}, "byte F0; queue song.mid; volume 5; byte 43"},
      {{"#f0zz"}, "byte F0"},
      {{"#x"}, "byte 0"},
      // Volume and fade-out.
      {{"/v-20"}, "volume -20"},
      {{"/V15"}, "volume 15"},
      {{"/v15", "/vol5"}, "volume 15; volume 0"},
      {{"/f50"}, "fade speed 50"},
      {{"/s9", "/c7", "/F100"}, "fade step 9; fade interval 7; fade speed 100"},
      {{"/f-7"}, "fade speed -7"},
      {{"/f"}, "fade speed 0"},
      {{"/S"}, "fade step 0"},
      {{"/c300"}, "fade interval 300"},
      {{"/C"}, "fade interval 0"},
      // Console mode and display level; /0 also hides the status line.
      {{"/so"}, "console"},
      {{"/SoC"}, "console"},
      {{"/5"}, "report 5 (said)"},
      {{"/0", "/9"}, "report 0 (said); status line off; report 9 (said)"},
      // Conversion.
      {{"/xg"}, "conversion xg (said)"},
      {{"/XG"}, "conversion xg (said)"},
      {{"/gm"}, "conversion gm (said)"},
      {{"/Gm"}, "conversion gm (said)"},
      {{"/nx"}, "conversion off (said)"},
      {{"/NC"}, "conversion all off (said)"},
      {{"/xg", "/nc"}, "conversion xg (said); conversion all off (said)"},
      // The play list's order.
      {{"--shuffle", "--loop"}, "shuffle; loop"},
      {{"--seed", "4294967295", "--seed=0"}, "seed 4294967295; seed 0"},
      // Words that do nothing here (the port and the requests belong to other stages).
      {{"/FE"}, ""},
      {{"/fe"}, ""},
      {{"-fe"}, ""},
      {{"/com3"}, ""},
      {{"/CO"}, ""},
      {{"-p", "24:0"}, ""},
      {{"-h"}, ""},
      {{"$abc"}, ""},
      {{"/q"}, ""},
      {{"/"}, ""},
      {{"-"}, ""},
      {{"/n"}, ""},
      {{"/x"}, ""},
      {{"/?"}, ""},
      {{""}, ""},
      // File names.
      {{"song.mid"}, "queue song.mid"},
      {{"/home/u/song.mid"}, "queue /home/u/song.mid"},
      {{"//"}, "queue //"},
      {{"a.mid", "/v3", "C:\\b.MID"}, "queue a.mid; volume 3; queue C:\\b.MID"},
  };
  checkStage(Stage::second, cases);
}

// The current directory holds files named like options: a dash word is an option whatever
// exists; the file is written ./-name or after --.
TEST(CommandLine, FilesThatLookLikeOptions) {
  const std::vector<WordsCase> cases = {
      {{"./song.mid"}, "queue ./song.mid"},
      {{"../x/song.mid"}, "queue ../x/song.mid"},
      {{"~/midi/a.mid"}, "queue /home/u/midi/a.mid"},
      {{"~"}, "queue ~"},
      {{".hidden.mid"}, "queue .hidden.mid"},
      {{"-v20"},
       "tessaro: -v20: unknown option (the option is written /v20; tessaro -h lists the "
       "options)"},
      {{"./-v20", "./--help"}, "queue ./-v20; queue ./--help"},
      {{"--help"}, ""},
      {{"-o", "out/", "x.mid"}, "queue x.mid"},
      {{"@home"}, "queue @home"},
      {{"/xg"}, "conversion xg (said)"},
      {{"/tmp"}, "queue /tmp"},
      {{"@5"}, "measure 5"},
      {{"--", "-h", "/gm", "@3", "~/a.mid", "-"},
       "queue -h; queue /gm; queue @3; queue /home/u/a.mid; queue -"},
      {{"/nc", "--", "--"}, "conversion all off (said); queue --"},
  };
  checkStage(Stage::second, cases, {".hidden.mid", "-v20", "--help", "-o", "@home", "/xg", "/tmp"});
  checkStage(Stage::requests, {{{"--help", "x.mid"}, "help"}}, {"--help"});
  checkStage(Stage::first, {{{"-o", "out/", "x.mid"}, "output out/"}}, {"-o"});
}

TEST(CommandLine, FirstPassTakesThePort) {
  const std::vector<WordsCase> cases = {
      {{"/com3"}, "com 3"},
      {{"-COM12"}, "com 12"},
      {{"/cOm7", "song.mid"}, "com 7"},
      {{"/com"}, "com 0"},
      {{"/com/x.mid"}, ""},
      {{"/co"}, ""},
      {{"-p", "24:0"}, "port 24:0"},
      {{"-p24:0"}, "port 24:0"},
      {{"--port", "FLUID Synth"}, "port FLUID Synth"},
      {{"--port=/dev/ttyUSB0", "/com2"}, "port /dev/ttyUSB0; com 2"},
      {{"-p", "-h"}, "port -h"},
      {{"", "/xg", "@3", "#F0", "/v5", "/so", "/?", "-h"}, ""},
      // A conversion is known before the output would open.
      {{"-o", "/com3", "song.mid"}, "output /com3"},
      {{"--output=out/", "-j", "2", "-j16", "--jobs=0"}, "output out/; jobs 2; jobs 16; jobs 0"},
      // What the outputs need is known before they open.
      {{"-T", "WAV", "-n", "--soundfont", "/sf/a.sf2", "-r", "48000", "-g", "0.5"},
       "type wav; no clobber; soundfont /sf/a.sf2; rate 48000; gain 0.500000"},
      {{"--type=flac", "--no-clobber", "--soundfont=b.sf3", "--rate=8000", "--gain=10"},
       "type flac; no clobber; soundfont b.sf3; rate 8000; gain 10.000000"},
      {{"-Togg", "-r192000", "-g.25", "-j256"}, "type ogg; rate 192000; gain 0.250000; jobs 256"},
      {{"-q", "--verbose", "--quiet"}, ""},
  };
  checkStage(Stage::first, cases);
}

// Quiet holds before the banner; more reporting is an option of the second pass, as /1 is.
TEST(CommandLine, QuietComesFirstAndVerboseWithTheOptions) {
  checkStage(Stage::early, {{{"/xg", "-q", "--quiet", "--verbose", "song.mid"}, "quiet; quiet"}});
  checkStage(Stage::second, {{{"-q", "--verbose", "/2"}, "verbose; report 2 (said)"}});
}

// A dash option's value out of its form or range ends the run, naming the option and the range.
TEST(CommandLine, DashOptionValuesOutOfRangeEndTheRun) {
  const std::string rate = "takes a sample rate from 8000 to 192000 (Hz), not ";
  const std::string gain = "takes a gain from 0 to 10 (such as 0.2 or 1.5), not ";
  const std::string type = "takes a type: mid, wav, flac or ogg, not ";
  const std::string jobs = "takes a number of songs from 0 to 256 (0: one per core), not ";
  checkStage(Stage::first,
             {
                 {{"-r", "7999"}, "tessaro: -r: " + rate + "\"7999\""},
                 {{"--rate=192001"}, "tessaro: --rate: " + rate + "\"192001\""},
                 {{"-r", "44.1k"}, "tessaro: -r: " + rate + "\"44.1k\""},
                 {{"-r", "99999999999"}, "tessaro: -r: " + rate + "\"99999999999\""},
                 {{"-g", "10.5"}, "tessaro: -g: " + gain + "\"10.5\""},
                 {{"-g", "-1"}, "tessaro: -g: " + gain + "\"-1\""},
                 {{"--gain", "1e1"}, "tessaro: --gain: " + gain + "\"1e1\""},
                 {{"-g", "nan"}, "tessaro: -g: " + gain + "\"nan\""},
                 {{"-g", "1.2.3"}, "tessaro: -g: " + gain + "\"1.2.3\""},
                 {{"-T", "mp3"}, "tessaro: -T: " + type + "\"mp3\""},
                 {{"--type=.wav"}, "tessaro: --type: " + type + "\".wav\""},
                 {{"-j", "257"}, "tessaro: -j: " + jobs + "\"257\""},
                 {{"--jobs", "x"}, "tessaro: --jobs: " + jobs + "\"x\""},
                 {{"-j2x"}, "tessaro: -j: " + jobs + "\"2x\""},
                 {{"-j"}, "tessaro: -j: needs a value"},
                 {{"--soundfont="}, "tessaro: --soundfont: needs a value"},
                 {{"-o", ""}, "tessaro: -o: needs a value"},
                 // The first word that fails ends the reading: nothing after it is taken.
                 {{"-r", "1", "-T", "mp3"}, "tessaro: -r: " + rate + "\"1\""},
             });
}

// The slash and prefix forms keep their meaning; a value that is not what the help says is
// said, with what was done instead.
TEST(CommandLine, SlashValuesOutOfTheirFormAreSaid) {
  const struct {
    std::vector<std::string> words;
    Stage stage;
    std::string commands;
    std::string warnings;
  } rows[] = {
      {{"/zz"}, Stage::second, "", "/zz: no such option; ignored"},
      {{"/"}, Stage::second, "", "/: no such option; ignored"},
      {{"/co3"}, Stage::second, "", "/co3: no such option; ignored"},
      {{"/@5"},
       Stage::second,
       "",
       "/@5: no such option; ignored (on the command line it is written @5)"},
      {{"/v500"},
       Stage::second,
       "volume 127",
       "/v500: the volume offset is -127 to +127; 127 is used"},
      {{"/v-128"},
       Stage::second,
       "volume -127",
       "/v-128: the volume offset is -127 to +127; -127 is used"},
      {{"/v127", "/v-127", "/v"}, Stage::second, "volume 127; volume -127; volume 0", ""},
      {{"/vabc"}, Stage::second, "volume 0", "/vabc: not a number; 0 is used"},
      {{"/v12x"}, Stage::second, "volume 12", "/v12x: not a number; 12 is used"},
      {{"/com100"}, Stage::first, "", "/com100: the COM port is 0 to 99; ignored"},
      {{"/com-1"}, Stage::first, "", "/com-1: the COM port is 0 to 99; ignored"},
      {{"-com100", "/com99"}, Stage::first, "com 99", "-com100: the COM port is 0 to 99; ignored"},
      {{"/comx"}, Stage::first, "com 0", "/comx: not a number; 0 is used"},
      {{"/com3x"}, Stage::first, "com 3", "/com3x: not a number; 3 is used"},
      {{"/com"}, Stage::first, "com 0", ""},
      {{"/12"},
       Stage::second,
       "report 1 (said)",
       "/12: the report level is one digit, 0 to 9; 1 is used"},
      {{"/fx", "/s2y", "/c"},
       Stage::second,
       "fade speed 0; fade step 2; fade interval 0",
       "/fx: not a number; 0 is used; /s2y: not a number; 2 is used"},
      {{"@x", ".2b", "&-1"},
       Stage::second,
       "measure 0; beat 2; repeats -1",
       "@x: not a number; 0 is used; .2b: not a number; 2 is used"},
      {{"#100"},
       Stage::second,
       "byte 100",
       "#100: a byte is 00 to FF; its low 8 bits, 00, are sent"},
      {{"#f7g"}, Stage::second, "byte F7", "#f7g: not a hexadecimal number; F7 is sent"},
      {{"#ff", "#"}, Stage::second, "byte FF; byte 0", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(joined(row.words));
    Rig rig;
    EXPECT_EQ(rig.stage(row.words, row.stage), row.commands);
    EXPECT_EQ(rig.warnings(row.words), row.warnings);
  }
}

TEST(CommandLine, RequestsEndTheRunBeforeAnythingElse) {
  checkStage(
      Stage::requests,
      {
          {{"/?"}, "help"},
          {{"-?"}, "help"},
          {{"-h"}, "help"},
          {{"--help"}, "help"},
          {{"song.mid", "/xg", "/?"}, "help"},
          {{"-V"}, "version"},
          {{"--version"}, "version"},
          {{"-l"}, "list ports"},
          {{"--list-ports"}, "list ports"},
          {{"-V", "-h"}, "version"},
          {{"/?/x.mid"}, ""},
          {{"?"}, ""},
          {{"-v"},
           "tessaro: -v: unknown option (the option is written /v; tessaro -h lists the options)"},
          {{"/com2", "--", "-h"}, ""},
      });
}

TEST(CommandLine, WordsThatAreNoOptionEndTheRun) {
  checkStage(
      Stage::second,
      {
          {{"-x"}, "tessaro: -x: unknown option (tessaro -h lists the options)"},
          {{"song.mid", "-xg"},
           "tessaro: -xg: unknown option (the option is written /xg; tessaro -h lists the "
           "options)"},
          {{"-v20"},
           "tessaro: -v20: unknown option (the option is written /v20; tessaro -h lists the "
           "options)"},
          {{"--xyz"}, "tessaro: --xyz: unknown option (tessaro -h lists the options)"},
          {{"--help=x"}, "tessaro: --help=x: unknown option (tessaro -h lists the options)"},
          {{"-hV"}, "tessaro: -hV: unknown option (tessaro -h lists the options)"},
          {{"-P"}, "tessaro: -P: unknown option (tessaro -h lists the options)"},
          {{"-qn"}, "tessaro: -qn: unknown option (tessaro -h lists the options)"},
          {{"--verbose=1"}, "tessaro: --verbose=1: unknown option (tessaro -h lists the options)"},
          {{"-p"}, "tessaro: -p: needs a port (tessaro -l lists them)"},
          {{"--port="}, "tessaro: --port: needs a port (tessaro -l lists them)"},
          {{"/xg", "--port"}, "tessaro: --port: needs a port (tessaro -l lists them)"},
          {{"--seed", "4294967296"},
           "tessaro: --seed: takes a whole number from 0 to 4294967295, not \"4294967296\""},
          {{"--seed=-1"}, "tessaro: --seed: takes a whole number from 0 to 4294967295, not \"-1\""},
      });
}

// "-" and --files-from stay in their places among the words until the lists are read.
TEST(CommandLine, ListsOfNamesKeepTheirPlaces) {
  Rig rig;
  CommandLine line = rig.parse({"a.mid", "-", "--files-from", "l.txt", "--files-from=-", "b.mid"});
  ASSERT_EQ(line.error, "");
  std::string places;
  for (const CommandLine::Item& item : line.items)
    places += (places.empty() ? "" : " ") + std::string(item.token ? "list:" : "") + item.value +
              (item.token ? "" : item.word);
  EXPECT_EQ(places, "a.mid list:- list:l.txt list:- b.mid");
}

TEST(CommandLine, ProgramPathIsNeitherOptionNorFile) {
  CommandLine line = parseCommandLine({"/usr/bin/song.mid"}, {});
  EXPECT_TRUE(line.items.empty());
  EXPECT_EQ(line.error, "");
}

TEST(NumberText, DecimalNumbers) {
  const struct {
    const char* text;
    int value;
  } cases[] = {
      {"", 0},
      {"42", 42},
      {"  42", 42},
      {"\t-5", -5},
      {"-5", -5},
      {"+7", 7},
      {"007", 7},
      {"12abc", 12},
      {"abc", 0},
      {"- 5", 0},
      {"--5", 0},
      {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},
      {"2147483648", INT_MAX},
      {"99999999999999999999", INT_MAX},
      {"-99999999999999999999", INT_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(parseDecimal(c.text), c.value) << '"' << c.text << '"';
}

TEST(NumberText, HexNumbers) {
  const struct {
    const char* text;
    uint32_t value;
  } cases[] = {
      {"F0", 0xF0},
      {"f0", 0xF0},
      {"f0zz", 0xF0},
      {"", 0},
      {"7", 0x7},
      {"aBcD", 0xABCD},
      {"FFFFFFFF", 0xFFFFFFFF},
      {"123456789", 0x23456789},
      {"FEDCBA9876543210", 0x76543210},
      {"0x10", 0},
      {"-1", 0},
      {"+1", 0},
      {" 1", 0},
      {"G1", 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(static_cast<uint32_t>(parseHexText(c.text)), c.value) << '"' << c.text << '"';
}

}  // namespace
