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
  // The commands of one stage, with the parse's error (if any) in front.
  std::string stage(const std::vector<std::string>& words, Stage which) {
    CommandLine line = parse(words);
    applyCommandLine(commands, line, which);
    return line.error.empty() ? commands.text() : line.error;
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

TEST(CommandLine, FilesThatLookLikeOptions) {
  const std::vector<WordsCase> cases = {
      {{"./song.mid"}, "queue ./song.mid"},
      {{"../x/song.mid"}, "queue ../x/song.mid"},
      {{"~/midi/a.mid"}, "queue /home/u/midi/a.mid"},
      {{"~"}, "queue ~"},
      {{".hidden.mid"}, "queue .hidden.mid"},
      {{"-v20"}, "queue -v20"},
      {{"@home"}, "queue @home"},
      {{"/xg"}, "conversion xg (said)"},
      {{"@5"}, "measure 5"},
      {{"--", "-h", "/gm", "@3", "~/a.mid"}, "queue -h; queue /gm; queue @3; queue /home/u/a.mid"},
      {{"/nc", "--", "--"}, "conversion all off (said); queue --"},
  };
  checkStage(Stage::second, cases, {".hidden.mid", "-v20", "@home", "/xg"});
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
      {{"--jobs", "x", "-j2x"}, "jobs -1; jobs -1"},
      {{"-j"}, "tessaro: option -j needs a value"},
  };
  checkStage(Stage::first, cases);
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
           "tessaro: unknown option -v (the option is written /v; tessaro -h lists the options)"},
          {{"/com2", "--", "-h"}, ""},
      });
}

TEST(CommandLine, WordsThatAreNoOptionEndTheRun) {
  checkStage(
      Stage::second,
      {
          {{"-x"}, "tessaro: unknown option -x (tessaro -h lists the options)"},
          {{"song.mid", "-xg"},
           "tessaro: unknown option -xg (the option is written /xg; tessaro -h lists the options)"},
          {{"-v20"},
           "tessaro: unknown option -v20 (the option is written /v20; tessaro -h lists the "
           "options)"},
          {{"--xyz"}, "tessaro: unknown option --xyz (tessaro -h lists the options)"},
          {{"--help=x"}, "tessaro: unknown option --help=x (tessaro -h lists the options)"},
          {{"-hV"}, "tessaro: unknown option -hV (tessaro -h lists the options)"},
          {{"-P"}, "tessaro: unknown option -P (tessaro -h lists the options)"},
          {{"-p"}, "tessaro: option -p needs a port (tessaro -l lists them)"},
          {{"--port="}, "tessaro: option --port= needs a port (tessaro -l lists them)"},
          {{"/xg", "--port"}, "tessaro: option --port needs a port (tessaro -l lists them)"},
          {{"--seed", "4294967296"},
           "tessaro: --seed: needs a whole number from 0 to 4294967295 (not 4294967296)"},
          {{"--seed=-1"}, "tessaro: --seed: needs a whole number from 0 to 4294967295 (not -1)"},
          {{"--seed"}, "tessaro: --seed: needs a whole number from 0 to 4294967295"},
      });
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
