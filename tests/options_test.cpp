// The command line as a user types it: which words set which values, what each one prints,
// which bytes go straight to the port and which words end up in the play list.
#include "app/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/virtual_platform.h"

namespace {

using namespace tessaro;
using tessaro::testing::CaptureMidiOutputs;
using tessaro::testing::CaptureSerialPorts;
using tessaro::testing::VirtualClock;

using Fields = std::map<std::string, std::string>;

// Everything the options can change, with the output port open on a serial line so direct
// bytes can be read back.
struct Rig {
  VirtualClock clock;
  CaptureSerialPorts serial{clock};
  CaptureMidiOutputs midi{clock};
  Log log;
  ExitHandlers exits;
  PlaybackOptions options;
  std::atomic<bool> repaint{false};
  MidiPort port{clock, serial, midi, log, exits, options.DispLevel, repaint};
  Engine engine{clock, log, port, options, repaint};
  FileCue cue;
  OptionSinks sinks{options, engine, cue, log};

  Rig() {
    log.startCapture();
    openMidiPort(port, 1, 0xFFFFFFFF);
    log.clearCaptured();
    serial.writes.clear();
  }

  bool firstPass(std::vector<std::string> words) {
    words.insert(words.begin(), "tessaro");
    return commandLineFirstPass(sinks, words);
  }
  void secondPass(std::vector<std::string> words) {
    words.insert(words.begin(), "tessaro");
    commandLineSecondPass(sinks, words);
  }

  Fields fields() const {
    const PlayerState& s = engine.state;
    Fields f;
    f["com"] = std::to_string(options.comPort);
    f["meas"] = std::to_string(options.skipToMeasure);
    f["beat"] = std::to_string(options.skipToBeat);
    f["repeat"] = std::to_string(s.repeatCount.load());
    f["byUser"] = std::to_string(s.repeatSetByUser.load());
    f["volumeAdd"] = std::to_string(options.volumeAdd.load());
    f["userVolume"] = std::to_string(s.userVolume.load());
    f["step"] = std::to_string(s.fadeStep.load());
    f["interval"] = std::to_string(s.fadeInterval.load());
    f["disp"] = std::to_string(options.DispLevel.load());
    f["console"] = options.consoleMode ? "1" : "0";
    f["flags"] = std::to_string(options.initialConventionFlags.load());
    f["targets"] = targets();
    std::string names;
    for (int i = 0; i < cue.length; ++i) names += (i ? "|" : "") + cue.entries[size_t(i)];
    f["cue"] = names;
    std::string bytes;
    char cell[4];
    for (uint8_t b : serial.bytes()) {
      std::snprintf(cell, sizeof cell, "%02X", b);
      bytes += (bytes.empty() ? "" : ",") + std::string(cell);
    }
    f["serial"] = bytes;
    return f;
  }

  // "xg,gm,gs" when every channel agrees, else "mixed".
  std::string targets() const {
    const TargetMap& t = engine.targets;
    auto one = [&](int c) {
      return std::to_string(t.toXg[c].load()) + "," + std::to_string(t.toGm[c].load()) + "," +
             std::to_string(t.toGs[c].load());
    };
    for (int c = 1; c < ChannelCount; ++c)
      if (one(c) != one(0)) return "mixed";
    return one(0);
  }
};

// The fields of a fresh rig, overridden by "key=value" pairs separated by spaces.
Fields expectedFields(const Fields& start, const std::string& changes) {
  Fields f = start;
  std::istringstream in(changes);
  std::string pair;
  while (in >> pair) {
    size_t eq = pair.find('=');
    f[pair.substr(0, eq)] = pair.substr(eq + 1);
  }
  return f;
}

std::string joined(const std::vector<std::string>& words) {
  std::string text;
  for (const auto& w : words) text += (text.empty() ? "" : " ") + w;
  return text;
}

struct WordsCase {
  std::vector<std::string> words;
  std::string printed;
  std::string changes;  // fields that differ from a fresh start
};

TEST(CommandLine, EachWordSetsItsValueAndSaysSo) {
  const WordsCase cases[] = {
      // Start position and repeats.
      {{"@12"}, "Skip to Meas = 12 \n", "meas=12"},
      {{"@-5"}, "Skip to Meas = -5 \n", "meas=-5"},
      {{"@x"}, "Skip to Meas = 0 \n", ""},
      {{".3"}, "Skip to Beat = 3 \n", "beat=3"},
      {{".\\song.mid"}, "Skip to Beat = 0 \n", ""},
      {{"./song.mid"}, "Skip to Beat = 0 \n", ""},
      {{"&4"}, "Repeat Time = 4 \n", "repeat=4 byUser=255"},
      {{"&x"}, "Repeat Time = 0 \n", "byUser=255"},
      // Direct bytes go out at once, in order, before any song.
      {{"#F0", "#43"}, "00F0 0043 ", "serial=F0,43"},
      {{"#F0", "song.mid", "/v5", "#43"},
       "00F0 Volume = 5 \n0043 ",
       "serial=F0,43 cue=song.mid volumeAdd=5 userVolume=5"},
      {{"#f0zz"}, "00F0 ", "serial=F0"},
      {{"#x"}, "0000 ", "serial=00"},
      // Volume.
      {{"/v-20"}, "Volume = -20 \n", "volumeAdd=-20 userVolume=-20"},
      {{"/V15"}, "Volume = 15 \n", "volumeAdd=15 userVolume=15"},
      {{"/v15", "/vol5"}, "Volume = 15 \nVolume = 0 \n", "volumeAdd=0 userVolume=0"},
      // Fade-out speed: the step and interval it stands for.
      {{"/f50"}, "FadeOutSpeed = 50 \n", "step=3 interval=420"},
      {{"/s9", "/c7", "/F100"},
       "FadeOutVolStep = 9 \nFadeOutCycleTime = 7 \nFadeOutSpeed = 100 \n",
       "step=3 interval=210"},
      {{"/f223"}, "FadeOutSpeed = 223 \n", "step=3 interval=94"},
      {{"/f224"}, "FadeOutSpeed = 224 \n", "step=4 interval=125"},
      {{"/f1000"}, "FadeOutSpeed = 1000 \n", "step=17 interval=125"},
      {{"/f0"}, "FadeOutSpeed = 2 \n", "step=3 interval=10500"},
      {{"/f1"}, "FadeOutSpeed = 2 \n", "step=3 interval=10500"},
      {{"/f-7"}, "FadeOutSpeed = 2 \n", "step=3 interval=10500"},
      {{"/f"}, "FadeOutSpeed = 2 \n", "step=3 interval=10500"},
      // Step and interval on their own; the later word wins.
      {{"/s5"}, "FadeOutVolStep = 5 \n", "step=5"},
      {{"/S"}, "FadeOutVolStep = 0 \n", "step=0"},
      {{"/c300"}, "FadeOutCycleTime = 300 \n", "interval=300"},
      {{"/C"}, "FadeOutCycleTime = 0 \n", "interval=0"},
      {{"/f50", "/s7"}, "FadeOutSpeed = 50 \nFadeOutVolStep = 7 \n", "step=7 interval=420"},
      {{"/s7", "/f50"}, "FadeOutVolStep = 7 \nFadeOutSpeed = 50 \n", "step=3 interval=420"},
      // Console mode and display level.
      {{"/so"}, "Console mode: ON.\n", "console=1"},
      {{"/SoC"}, "Console mode: ON.\n", "console=1"},
      {{"/5"}, "DispLevel=5  RealPlay=ON\n", "disp=5"},
      {{"/0", "/9"}, "DispLevel=0  RealPlay=ON\nDispLevel=9  RealPlay=ON\n", "disp=9"},
      // Words that do nothing here.
      {{"/FE"}, "", ""},
      {{"/fe"}, "", ""},
      {{"/com3"}, "", ""},
      {{"/CO"}, "", ""},
      {{"-xg"}, "", ""},
      {{"-fe"}, "", ""},
      {{"-v20"}, "", ""},
      {{"$abc"}, "", ""},
      {{"/q"}, "", ""},
      {{"/"}, "", ""},
      {{"/n"}, "", ""},
      {{"/x"}, "", ""},
      {{"/?"}, "", ""},
      {{""}, "", ""},
      // File names.
      {{"song.mid"}, "", "cue=song.mid"},
      {{"/home/u/song.mid"}, "", "cue=/home/u/song.mid"},
      {{"//"}, "", "cue=//"},
      {{"a.mid", "/v3", "C:\\b.MID"},
       "Volume = 3 \n",
       "cue=a.mid|C:\\b.MID volumeAdd=3 userVolume=3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(joined(c.words));
    Rig rig;
    Fields start = rig.fields();
    rig.secondPass(c.words);
    EXPECT_EQ(rig.log.captured(), c.printed);
    EXPECT_EQ(rig.fields(), expectedFields(start, c.changes));
  }
}

TEST(CommandLine, ConversionWordsSetEveryChannel) {
  const WordsCase cases[] = {
      {{"/xg"}, "GS => XG conversion AUTO-DETECT.\n", "targets=-1,0,0 flags=2"},
      {{"/XG"}, "GS => XG conversion AUTO-DETECT.\n", "targets=-1,0,0 flags=2"},
      {{"/gm"}, "GS => GM conversion AUTO-DETECT.\n", "targets=0,-1,0 flags=0"},
      {{"/Gm"}, "GS => GM conversion AUTO-DETECT.\n", "targets=0,-1,0 flags=0"},
      {{"/nx"}, "GS => XG conversion OFF.\n", "targets=0,0,0 flags=0"},
      {{"/NC"}, "88GS/XG/GM conversion ALL OFF.\n", "targets=0,0,0 flags=0"},
      {{"/nc"}, "88GS/XG/GM conversion ALL OFF.\n", "targets=0,0,0 flags=0"},
      {{"/xg", "/nc"},
       "GS => XG conversion AUTO-DETECT.\n88GS/XG/GM conversion ALL OFF.\n",
       "targets=0,0,0 flags=0"},
      {{"/gm", "/xg"},
       "GS => GM conversion AUTO-DETECT.\nGS => XG conversion AUTO-DETECT.\n",
       "targets=-1,0,0 flags=2"},
      {{"-xg"}, "", ""},
      {{"-gm"}, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(joined(c.words));
    Rig rig;
    // Start from values no option sets, so every channel has to be rewritten.
    rig.engine.targets.setAll(7, 7, 7);
    rig.options.initialConventionFlags = 9;
    Fields start = rig.fields();
    rig.secondPass(c.words);
    EXPECT_EQ(rig.log.captured(), c.printed);
    EXPECT_EQ(rig.fields(), expectedFields(start, c.changes));
  }
}

struct FirstPassCase {
  std::vector<std::string> words;
  bool usage;
  std::string printed;  // before the usage text, when there is one
  int comPort;
};

TEST(CommandLine, FirstPassTakesThePortAndTheHelpRequest) {
  const FirstPassCase cases[] = {
      {{"/com3"}, false, "COM port = COM3 \n", 3},
      {{"-COM12"}, false, "COM port = COM12 \n", 12},
      {{"/cOm7", "song.mid"}, false, "COM port = COM7 \n", 7},
      {{"/com"}, false, "COM port = COM0 \n", 0},
      {{"/com/x.mid"}, false, "", 99},
      {{"/co"}, false, "", 99},
      {{"/?"}, true, "", 99},
      {{"-?"}, true, "", 99},
      {{"song.mid", "/xg", "/?"}, true, "", 99},
      {{"/com2", "/?", "/com4"}, true, "COM port = COM2 \n", 2},
      {{"/?/x.mid"}, false, "", 99},
      {{"?"}, false, "", 99},
      {{"", "/xg", "@3", "#F0", "/v5", "/so"}, false, "", 99},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(joined(c.words));
    Rig rig;
    rig.options.comPort = 99;
    Fields start = rig.fields();
    EXPECT_EQ(rig.firstPass(c.words), c.usage);
    std::string printed = rig.log.captured();
    if (c.usage) {
      ASSERT_GE(printed.size(), c.printed.size());
      EXPECT_EQ(printed.substr(0, c.printed.size()), c.printed);
      std::string usage = printed.substr(c.printed.size());
      EXPECT_EQ(std::count(usage.begin(), usage.end(), '\n'), 16);
      EXPECT_EQ(usage.find("__.mid"), 0u);
    } else {
      EXPECT_EQ(printed, c.printed);
    }
    // Nothing but the port is taken in this pass.
    EXPECT_EQ(rig.fields(), expectedFields(start, "com=" + std::to_string(c.comPort)));
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
  EXPECT_FALSE(commandLineFirstPass(rig.sinks, {"/com5"}));
  commandLineSecondPass(rig.sinks, {"/usr/bin/song.mid"});
  EXPECT_EQ(rig.options.comPort, 0);
  EXPECT_EQ(rig.cue.length, 0);
  EXPECT_EQ(rig.log.captured(), "");
}

TEST(CommandLine, FilesBeyondTheListsCapacityAreLeftOut) {
  Rig rig;
  std::vector<std::string> words;
  for (int i = 0; i < CueCapacity + 5; ++i) words.push_back("s" + std::to_string(i) + ".mid");
  words.push_back(std::string(CuePathLimit + 1, 'n'));
  rig.secondPass(words);
  ASSERT_EQ(rig.cue.length, CueCapacity);
  EXPECT_EQ(rig.cue.entries[0], "s0.mid");
  EXPECT_EQ(rig.cue.entries[CueCapacity - 1], "s99.mid");
}

TEST(CommandLine, OverlongFileNameIsLeftOut) {
  Rig rig;
  std::string longest(CuePathLimit, 'a');
  rig.secondPass({std::string(CuePathLimit + 1, 'b'), longest, "next.mid"});
  ASSERT_EQ(rig.cue.length, 2);
  EXPECT_EQ(rig.cue.entries[0], longest);
  EXPECT_EQ(rig.cue.entries[1], "next.mid");
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
