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

struct Rig {
  RecordingCommands commands;
  Log log;

  Rig() { log.startCapture(); }

  bool firstPass(std::vector<std::string> words) {
    words.insert(words.begin(), "tessaro");
    return commandLineFirstPass(commands, log, words);
  }
  void secondPass(std::vector<std::string> words) {
    words.insert(words.begin(), "tessaro");
    commandLineSecondPass(commands, words);
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

TEST(CommandLine, EachWordGivesItsCommand) {
  const WordsCase cases[] = {
      // Start position and repeats.
      {{"@12"}, "measure 12"},
      {{"@-5"}, "measure -5"},
      {{"@x"}, "measure 0"},
      {{".3"}, "beat 3"},
      {{".\\song.mid"}, "beat 0"},
      {{"./song.mid"}, "beat 0"},
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
      // Console mode and display level.
      {{"/so"}, "console"},
      {{"/SoC"}, "console"},
      {{"/5"}, "report 5 (said)"},
      {{"/0", "/9"}, "report 0 (said); report 9 (said)"},
      // Conversion.
      {{"/xg"}, "conversion xg (said)"},
      {{"/XG"}, "conversion xg (said)"},
      {{"/gm"}, "conversion gm (said)"},
      {{"/Gm"}, "conversion gm (said)"},
      {{"/nx"}, "conversion off (said)"},
      {{"/NC"}, "conversion all off (said)"},
      {{"/xg", "/nc"}, "conversion xg (said); conversion all off (said)"},
      // Words that do nothing here.
      {{"/FE"}, ""},
      {{"/fe"}, ""},
      {{"/com3"}, ""},
      {{"/CO"}, ""},
      {{"-xg"}, ""},
      {{"-gm"}, ""},
      {{"-fe"}, ""},
      {{"-v20"}, ""},
      {{"$abc"}, ""},
      {{"/q"}, ""},
      {{"/"}, ""},
      {{"/n"}, ""},
      {{"/x"}, ""},
      {{"/?"}, ""},
      {{""}, ""},
      // File names.
      {{"song.mid"}, "queue song.mid"},
      {{"/home/u/song.mid"}, "queue /home/u/song.mid"},
      {{"//"}, "queue //"},
      {{"a.mid", "/v3", "C:\\b.MID"}, "queue a.mid; volume 3; queue C:\\b.MID"},
      // The conversion's options and their values, taken by the first pass.
      {{"-o", "out.mid", "a.mid", "-j", "2", "-j3", "--jobs=4", "--output=x/", "b.mid"},
       "queue a.mid; queue b.mid"},
      {{"--output", "c.mid", "--jobs", "d.mid", "-o"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(joined(c.words));
    Rig rig;
    rig.secondPass(c.words);
    EXPECT_EQ(rig.commands.text(), c.commands);
    EXPECT_EQ(rig.log.captured(), "");
  }
}

struct FirstPassCase {
  std::vector<std::string> words;
  bool usage;
  std::string commands;
};

TEST(CommandLine, FirstPassTakesThePortAndTheHelpRequest) {
  const FirstPassCase cases[] = {
      {{"/com3"}, false, "com 3"},
      {{"-COM12"}, false, "com 12"},
      {{"/cOm7", "song.mid"}, false, "com 7"},
      {{"/com"}, false, "com 0"},
      {{"/com/x.mid"}, false, ""},
      {{"/co"}, false, ""},
      {{"/?"}, true, ""},
      {{"-?"}, true, ""},
      {{"song.mid", "/xg", "/?"}, true, ""},
      {{"/com2", "/?", "/com4"}, true, "com 2"},
      {{"/?/x.mid"}, false, ""},
      {{"?"}, false, ""},
      {{"", "/xg", "@3", "#F0", "/v5", "/so"}, false, ""},
      {{"-o", "/com3", "song.mid"}, false, "output /com3"},
      {{"--output=out/", "-j", "2", "-j16", "--jobs=0"},
       false,
       "output out/; jobs 2; jobs 16; jobs 0"},
      {{"--jobs", "x", "-j2x", "--output"}, false, "jobs -1; jobs -1; output "},
      {{"-j"}, false, "jobs -1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(joined(c.words));
    Rig rig;
    EXPECT_EQ(rig.firstPass(c.words), c.usage);
    EXPECT_EQ(rig.commands.text(), c.commands);
    std::string usage = rig.log.captured();
    if (c.usage) {
      EXPECT_EQ(std::count(usage.begin(), usage.end(), '\n'), 16);
      EXPECT_EQ(usage.find("__.mid"), 0u);
    } else {
      EXPECT_EQ(usage, "");
    }
  }
}

TEST(CommandLine, UsageMentionsEveryOption) {
  Rig rig;
  printUsage(rig.log);
  std::string usage = rig.log.captured();
  for (const char* option :
       {"/xg", "/gm", "/nc", "/com", "/#", "/&", "/@", "/.", "/v", "/f", "/s", "/c"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
}

TEST(CommandLine, ProgramPathIsNeitherOptionNorFile) {
  Rig rig;
  EXPECT_FALSE(commandLineFirstPass(rig.commands, rig.log, {"/com5"}));
  commandLineSecondPass(rig.commands, {"/usr/bin/song.mid"});
  EXPECT_EQ(rig.commands.text(), "");
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
