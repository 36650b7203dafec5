// What each command does, whichever input gave it: the values it sets (kept in range for any
// number), what it says on the console, what reaches the module, and when the window is asked
// to show it.
#include "control/commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/player_stack.h"
#include "support/smf.h"
#include "support/system_platform.h"

namespace tessaro::testing {
namespace {

using Fields = std::map<std::string, std::string>;

// A window that counts what it is asked and hands out a scripted file choice.
class CountingView : public StatusView {
 public:
  bool exists() const override { return shown; }
  void refresh() override { ++paints; }
  void update() override { ++updates; }
  void releaseControls() override { ++releases; }
  platform::FileChoice chooseFile() override {
    ++choosers;
    return choice;
  }
  bool shown = true;
  int paints = 0, updates = 0, releases = 0, choosers = 0;
  platform::FileChoice choice;
};

// The commands on a session whose port is open on a serial line (COM1).
struct Rig : PlayerStack<> {
  CountingView view;
  SystemFileSystem files;
  PlayListReader lists{files, log};
  SessionCommands commands{session, view, lists};

  Rig() {
    log.startCapture();
    openMidiPort(port, 1, platform::MidiOutputs::mapper);
    serial.writes.clear();
    log.clearCaptured();
  }

  // Every value a command can change, as text.
  Fields fields() {
    const PlayerState& s = engine.state;
    const char* targets[] = {"none", "xg", "gm"};
    Fields f;
    f["com"] = std::to_string(options.comPort);
    f["meas"] = std::to_string(options.skipToMeasure);
    f["beat"] = std::to_string(options.skipToBeat);
    f["repeat"] = std::to_string(s.repeatCount.load());
    f["byUser"] = std::to_string(s.repeatSetByUser);
    f["volume"] = std::to_string(options.volumeAdd.load());
    f["offset"] = std::to_string(session.stage.volumeOffset());
    f["step"] = std::to_string(options.fadeStep.load());
    f["interval"] = std::to_string(options.fadeInterval.load());
    f["fading"] = session.stage.fading() ? "1" : "0";
    f["speed"] = std::to_string(s.speedDivisor.load());
    f["shift"] = std::to_string(int64_t{clock.tickMs()} - session.time.now());
    f["disp"] = std::to_string(options.DispLevel.load());
    f["console"] = options.consoleMode ? "1" : "0";
    f["target"] = targets[static_cast<int>(options.target.load())];
    std::string names;
    for (int i = 0; i < session.cue.length; ++i)
      names += (i ? "|" : "") + session.cue.entries[static_cast<size_t>(i)];
    f["cue"] = names;
    std::string bytes;
    for (uint8_t b : serial.bytes()) {
      char cell[4];
      std::snprintf(cell, sizeof cell, "%02X", b);
      bytes += (bytes.empty() ? "" : ",") + std::string(cell);
    }
    f["sent"] = bytes;
    const ConversionRequest& c = session.conversion;
    f["output"] = c.wanted ? c.path : "-";
    f["jobs"] = std::to_string(c.jobs);
    for (const std::string& song : c.songs) f["songs"] += song + "|";
    for (uint8_t b : c.directBytes) f["gathered"] += std::to_string(b) + "|";
    f["paints"] = std::to_string(view.paints);
    std::string action = session.lastAction;
    std::replace(action.begin(), action.end(), ' ', '_');
    f["action"] = action;
    f["statusLine"] = session.statusLine ? "1" : "0";
    f["backlog"] = std::to_string(session.cue.backlog.size());
    f["after"] = session.cue.after == SongMove::next ? "next" : "previous";
    f["stopped"] = std::to_string(s.stopRequested);
    f["device"] = serial.chosen;
    f["midiPort"] = midi.chosen;
    return f;
  }
};

// The fields of a fresh rig, overridden by "key=value" pairs separated by spaces.
Fields changed(const Fields& start, const std::string& changes) {
  Fields f = start;
  std::istringstream in(changes);
  std::string pair;
  while (in >> pair) {
    size_t eq = pair.find('=');
    f[pair.substr(0, eq)] = pair.substr(eq + 1);
  }
  return f;
}

struct Row {
  const char* name;
  std::function<void(Rig&)> before;  // sets the values the command starts from
  std::function<void(Commands&)> command;
  std::string printed;
  std::string changes;  // fields that differ from the start
};

void checkRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Rig rig;
    if (row.before) row.before(rig);
    rig.log.clearCaptured();
    Fields start = rig.fields();
    row.command(rig.commands);
    EXPECT_EQ(rig.log.captured(), row.printed);
    EXPECT_EQ(rig.fields(), changed(start, row.changes));
  }
}

void volume(Rig& rig, int32_t value) {
  rig.options.volumeAdd = value;
  rig.session.request({RequestKind::volume});
}

TEST(OptionCommands, EachSetsItsValueAndSaysSo) {
  checkRows({
      {"com port", {}, [](Commands& c) { c.setComPort(3); }, "COM port = COM3 \n", "com=3"},
      {"start measure",
       {},
       [](Commands& c) { c.setStartMeasure(-5); },
       "Skip to Meas = -5 \n",
       "meas=-5"},
      {"start beat", {}, [](Commands& c) { c.setStartBeat(3); }, "Skip to Beat = 3 \n", "beat=3"},
      {"repeats",
       {},
       [](Commands& c) { c.setRepeats(4); },
       "Repeat Time = 4 \n",
       "repeat=4 byUser=255"},
      {"direct byte", {}, [](Commands& c) { c.sendByte(0xF0); }, "00F0 ", "sent=F0"},
      {"direct byte, low eight bits",
       {},
       [](Commands& c) { c.sendByte(0x12345); },
       "12345 ",
       "sent=45"},
      {"volume",
       {},
       [](Commands& c) { c.setVolume(-20); },
       "Volume = -20 \n",
       "volume=-20 offset=-20"},
      {"volume beyond the offset's range",
       {},
       [](Commands& c) { c.setVolume(300); },
       "Volume = 300 \n",
       "volume=300 offset=255"},
      {"fade step", {}, [](Commands& c) { c.setFadeStep(9); }, "FadeOutVolStep = 9 \n", "step=9"},
      {"fade interval",
       {},
       [](Commands& c) { c.setFadeInterval(7); },
       "FadeOutCycleTime = 7 \n",
       "interval=7"},
      {"standard fade", [](Rig& r) { r.options.fadeStep = 9; },
       [](Commands& c) { c.setStandardFade(); }, "FadeOutSpeed = std. (100) \n",
       "step=3 interval=210"},
      {"console mode",
       {},
       [](Commands& c) { c.setConsoleMode(); },
       "Console mode: ON.\n",
       "console=1"},
      {"report level said",
       {},
       [](Commands& c) { c.setReportLevel(5, Echo::confirm); },
       "DispLevel=5  RealPlay=ON\n",
       "disp=5"},
      {"report level quiet",
       {},
       [](Commands& c) { c.setReportLevel(5, Echo::quiet); },
       "",
       "disp=5"},
      {"queue", {}, [](Commands& c) { c.queueFile("song.mid"); }, "", "cue=song.mid"},
      // A conversion gathers the songs and the direct bytes instead of queuing and sending.
      {"output", {}, [](Commands& c) { c.setOutput("out/"); }, "", "output=out/"},
      {"jobs", {}, [](Commands& c) { c.setJobs(3); }, "", "jobs=3"},
      {"queue for a conversion", [](Rig& r) { r.session.conversion.wanted = true; },
       [](Commands& c) { c.queueFile("a.mid"); }, "", "songs=a.mid|"},
      {"direct byte for a conversion", [](Rig& r) { r.session.conversion.wanted = true; },
       [](Commands& c) { c.sendByte(0xF0); }, "00F0 ", "gathered=240|"},
      {"a serial device by path, COM1 unless a COM port is chosen",
       {},
       [](Commands& c) { c.setPort("/dev/ttyUSB0"); },
       "MIDI port = /dev/ttyUSB0 \n",
       "device=/dev/ttyUSB0 com=1"},
      {"a message port by name, instead of a COM port", [](Rig& r) { r.options.comPort = 3; },
       [](Commands& c) { c.setPort("24:0"); }, "MIDI port = 24:0 \n", "midiPort=24:0 com=0"},
      {"a device path where devices have no names", [](Rig& r) { r.serial.takesNames = false; },
       [](Commands& c) { c.setPort("/dev/ttyUSB0"); },
       "Port names are not taken on this system: /dev/ttyUSB0 \n", ""},
      {"status line off", {}, [](Commands& c) { c.setStatusLine(false); }, "", "statusLine=0"},
      {"status line on", [](Rig& r) { r.session.statusLine = false; },
       [](Commands& c) { c.setStatusLine(true); }, "", "statusLine=1"},
      {"version", [](Rig& r) { r.session.facts.version = "1.2.3"; },
       [](Commands& c) { c.showVersion(); }, "tessaro 1.2.3\n", ""},
      // Quiet: nothing but errors from then on, no status line; more reporting, as /1.
      {"quiet",
       {},
       [](Commands& c) {
         c.setQuiet();
         c.setVolume(5);
       },
       "",
       "statusLine=0 volume=5 offset=5"},
      {"verbose", {}, [](Commands& c) { c.setVerbose(); }, "", "disp=1"},
      {"verbose after more", [](Rig& r) { r.options.DispLevel = 5; },
       [](Commands& c) { c.setVerbose(); }, "", ""},
  });
}

TEST(RequestCommands, PortsAreListedOrWhyNot) {
  struct Row {
    const char* name;
    platform::PortListing listing;
    std::vector<std::string> devices;
    std::string printed;
  } rows[] = {
      {"ports and devices",
       {{{"14:0", "Midi Through: Midi Through Port-0"}, {"128:0", "FLUID: Synth input"}}, ""},
       {"/dev/ttyUSB0"},
       "MIDI ports (-p ADDRESS or -p NAME):\n  14:0    Midi Through: Midi Through Port-0\n"
       "  128:0   FLUID: Synth input\nSerial devices (-p PATH):\n  /dev/ttyUSB0\n"},
      {"no sequencer",
       {{}, "no ALSA sequencer"},
       {},
       "MIDI ports: none (no ALSA sequencer)\nSerial devices: none\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Rig rig;
    rig.midi.listing = row.listing;
    rig.serial.devices = row.devices;
    rig.commands.listPorts();
    EXPECT_EQ(rig.log.captured(), row.printed);
  }
}

TEST(RequestCommands, HelpNamesEveryOptionKeyAndPlace) {
  Rig rig;
  rig.session.facts = {"1.0", "/home/u/.config/tessaro/tessaro.ini", {"TESSARO_X  a variable"}};
  rig.commands.showHelp();
  std::string help = rig.log.captured();
  // Each part between bars is somewhere in the text.
  std::istringstream parts(
      "/xg|/gm|/nc|/nx|/comN|#hh|&n|@n|.n|/vN|/fN|/sN|/cN|/so|/0|-h, --help, /?|-V, --version|-l, "
      "--list-ports|-p, --port PORT|-i, --input PORT|--from CONV|--shuffle|--seed N|--loop|.m3u|"
      "--  |Esc|N / P|U / S / D|TESSARO_X  a "
      "variable|/home/u/.config/tessaro/tessaro.ini|Exit status|Examples|'#F0'|'&2'|-o, --output "
      "OUT|-j, --jobs N|-T, --type TYPE|-n, --no-clobber|--soundfont FILE|-r, --rate RATE|-g, "
      "--gain GAIN|-q, --quiet|--verbose|--files-from FILE\n|  -  |130, 143");
  for (std::string part; std::getline(parts, part, '|');)
    EXPECT_NE(help.find(part), std::string::npos) << part;
}

TEST(OptionCommands, FadeSpeedStandsForAStepAndAnInterval) {
  struct Case {
    int32_t speed;
    std::string printed;
    int32_t step, interval;
  } cases[] = {
      {50, "FadeOutSpeed = 50 \n", 3, 420},
      {100, "FadeOutSpeed = 100 \n", 3, 210},
      {223, "FadeOutSpeed = 223 \n", 3, 94},
      {224, "FadeOutSpeed = 224 \n", 4, 125},
      {300, "FadeOutSpeed = 300 \n", 5, 125},
      {1000, "FadeOutSpeed = 1000 \n", 17, 125},
      {1, "FadeOutSpeed = 2 \n", 3, 10500},
      {-7, "FadeOutSpeed = 2 \n", 3, 10500},
      {INT32_MIN, "FadeOutSpeed = 2 \n", 3, 10500},
      {INT32_MAX, "FadeOutSpeed = 2147483647 \n", INT32_MAX / 56, 125},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.commands.setFadeSpeed(c.speed);
    EXPECT_EQ(rig.log.captured(), c.printed) << c.speed;
    EXPECT_EQ(rig.options.fadeStep, c.step) << c.speed;
    EXPECT_EQ(rig.options.fadeInterval, c.interval) << c.speed;
  }
}

TEST(ConversionCommand, OneTargetForEveryViewOfIt) {
  struct Case {
    Conversion conversion;
    Echo echo;
    std::string printed;
    Target target;
    platform::ModuleConvention convention;
  } cases[] = {
      {Conversion::xg, Echo::confirm, "GS => XG conversion AUTO-DETECT.\n", Target::xg,
       platform::ModuleConvention::xg},
      {Conversion::gm, Echo::confirm, "GS => GM conversion AUTO-DETECT.\n", Target::gm,
       platform::ModuleConvention::gm},
      {Conversion::off, Echo::confirm, "GS => XG conversion OFF.\n", Target::none,
       platform::ModuleConvention::gs},
      {Conversion::allOff, Echo::confirm, "88GS/XG/GM conversion ALL OFF.\n", Target::none,
       platform::ModuleConvention::gs},
      {Conversion::xg, Echo::quiet, "", Target::xg, platform::ModuleConvention::xg},
  };
  for (const Case& c : cases) {
    Rig rig;
    openMidiPort(rig.port, 0, platform::MidiOutputs::mapper);  // a device that is told
    rig.options.target = c.conversion == Conversion::gm ? Target::none : Target::gm;
    rig.log.clearCaptured();
    rig.commands.setConversion(c.conversion, c.echo);
    EXPECT_EQ(rig.log.captured(), c.printed);
    EXPECT_EQ(rig.options.target, c.target);
    EXPECT_EQ(rig.midi.last->convention, c.convention);
    EXPECT_EQ(rig.view.paints, 1);
  }
}

// The commands of keys and controls: quiet, and shown on the window at once.
TEST(PlayCommands, EachChangesItsValue) {
  const std::string gmOn = "F0,7E,7F,09,01,F7";
  checkRows({
      {"volume down",
       {},
       [](Commands& c) { c.stepVolume(-12); },
       "",
       "volume=-12 offset=-12 paints=1 action=vol_-12"},
      {"volume up by 3",
       {},
       [](Commands& c) { c.stepVolume(3); },
       "",
       "volume=3 offset=3 paints=1 action=vol_+3"},
      // The steps do not limit the value; the offset that reaches the channels is limited.
      {"volume up past the offset's range", [](Rig& r) { volume(r, 250); },
       [](Commands& c) { c.stepVolume(12); }, "", "volume=262 offset=255 paints=1 action=vol_+262"},
      {"volume down past the offset's range", [](Rig& r) { volume(r, -250); },
       [](Commands& c) { c.stepVolume(-12); }, "",
       "volume=-262 offset=-256 paints=1 action=vol_-262"},
      {"volume saturates at the largest value", [](Rig& r) { volume(r, INT32_MAX); },
       [](Commands& c) { c.stepVolume(12); }, "", "paints=1 action=vol_+2147483647"},
      {"volume saturates at the smallest value", [](Rig& r) { volume(r, INT32_MIN + 1); },
       [](Commands& c) { c.stepVolume(-12); }, "",
       "volume=" + std::to_string(INT32_MIN) + " paints=1 action=vol_" + std::to_string(INT32_MIN)},
      {"repeat down", [](Rig& r) { r.engine.state.repeatCount = 3; },
       [](Commands& c) { c.stepRepeats(-1); }, "", "repeat=2 byUser=255 paints=1 action=repeats_2"},
      {"repeat down stays at 0",
       {},
       [](Commands& c) { c.stepRepeats(-1); },
       "",
       "byUser=255 paints=1 action=repeats_0"},
      {"repeat down from the smallest value",
       [](Rig& r) { r.engine.state.repeatCount = INT32_MIN; },
       [](Commands& c) { c.stepRepeats(-1); }, "", "repeat=0 byUser=255 paints=1 action=repeats_0"},
      {"repeat up", [](Rig& r) { r.engine.state.repeatCount = 3; },
       [](Commands& c) { c.stepRepeats(1); }, "", "repeat=4 byUser=255 paints=1 action=repeats_4"},
      {"repeat up from below 0", [](Rig& r) { r.engine.state.repeatCount = -4; },
       [](Commands& c) { c.stepRepeats(1); }, "", "repeat=0 byUser=255 paints=1 action=repeats_0"},
      {"repeat up saturates", [](Rig& r) { r.engine.state.repeatCount = INT32_MAX; },
       [](Commands& c) { c.stepRepeats(1); }, "", "byUser=255 paints=1 action=repeats_2147483647"},
      {"module reset",
       {},
       [](Commands& c) { c.resetModule(); },
       "",
       "sent=" + gmOn + " shift=50 action=GM_System_On"},
      {"fade out", {}, [](Commands& c) { c.fadeOut(); }, "", "fading=1 paints=1 action=fade"},
      // n and p stop the song as Esc does; the song loop then plays what they asked for.
      {"next song", {}, [](Commands& c) { c.nextSong(); }, "", "stopped=255"},
      {"previous song",
       {},
       [](Commands& c) { c.previousSong(); },
       "",
       "after=previous stopped=255"},
      {"Esc after p", [](Rig& r) { r.session.cue.after = SongMove::previous; },
       [](Commands& c) { c.stopSong(); }, "", "after=next stopped=255"},
  });
}

TEST(PlayCommands, SpeedStepsUpAndDown) {
  struct Row {
    int32_t from;
    std::string steps;  // U faster, S normal, D slower
    std::vector<int32_t> speeds;
  } rows[] = {
      {1000, "UUUU", {1062, 1128, 1198, 1272}},
      {1272, "S", {1000}},
      {1000, "DD", {941, 886}},
      {941, "U", {999}},
      {1062, "D", {1000}},
      {1, "DU", {1, 1}},
      {INT32_MAX, "U", {INT32_MAX}},
      {2100000000, "U", {INT32_MAX}},
      {INT32_MAX, "D", {2021161080}},
  };
  for (const Row& row : rows) {
    Rig rig;
    rig.engine.state.speedDivisor = row.from;
    std::vector<int32_t> speeds;
    for (char step : row.steps) {
      if (step == 'U') rig.commands.speedUp();
      if (step == 'S') rig.commands.normalSpeed();
      if (step == 'D') rig.commands.slowDown();
      speeds.push_back(rig.engine.state.speedDivisor);
    }
    EXPECT_EQ(speeds, row.speeds) << row.from << " " << row.steps;
    EXPECT_EQ(rig.view.paints, static_cast<int>(row.steps.size()));
    EXPECT_EQ(rig.session.lastAction,
              "speed " + std::to_string((int64_t{speeds.back()} + 5) / 10) + " %");
  }
}

// Stopping asks the player to end the song; the song's own end silences it (the song-ending
// tests check what reaches the module).
TEST(PlayCommands, StopEndsThePlayOfTheSong) {
  Rig rig;
  PlayerState& s = rig.engine.state;
  s.playRequest = 1;
  rig.commands.stopSong();
  EXPECT_EQ(s.playRequest, 0);
  EXPECT_NE(s.stopRequested, 0);
  EXPECT_TRUE(rig.serial.bytes().empty());
}

TEST(ListCommands, FilesBeyondTheListsCapacityWaitInTheBacklog) {
  Rig rig;
  for (int i = 0; i < CueCapacity; ++i) {
    std::string name = "s";  // s0.mid ... s99.mid
    EXPECT_TRUE(rig.commands.queueFile(name.append(std::to_string(i)).append(".mid")));
  }
  EXPECT_TRUE(rig.commands.queueFile("late.mid"));
  ASSERT_EQ(rig.session.cue.length, CueCapacity);
  EXPECT_EQ(rig.session.cue.entries[CueCapacity - 1], "s99.mid");
  EXPECT_EQ(rig.session.cue.backlog, std::deque<std::string>{"late.mid"});

  Rig other;
  EXPECT_FALSE(other.commands.queueFile(std::string(CuePathLimit + 1, 'b')));
  EXPECT_TRUE(other.commands.queueFile(std::string(CuePathLimit, 'a')));
  EXPECT_EQ(other.session.cue.length, 1);
}

TEST(ListCommands, TheFileChooserOnlyWithAWindowAndRoomInTheList) {
  using Result = platform::FileChoice::Result;
  struct Row {
    const char* name;
    bool window;
    int entries;
    platform::FileChoice choice;
    bool added;
    int choosers;
    std::string printed;
  } rows[] = {
      {"no window", false, 0, {Result::chosen, "/m/a.mid", ""}, false, 0, ""},
      {"a full list", true, 100, {Result::chosen, "/m/a.mid", ""}, false, 0, ""},
      {"chosen", true, 99, {Result::chosen, "/m/a.mid", ""}, true, 1, ""},
      {"a name too long",
       true,
       0,
       {Result::chosen, std::string(5000, 'p'), ""},
       false,
       1,
       "Path Too Long.\n"},
      {"cancelled",
       true,
       0,
       {Result::cancelled, "", ""},
       false,
       1,
       "\nFailed Opening File-Open Dialog Box.\n"},
      {"failed",
       true,
       0,
       {Result::failed, "", "no chooser"},
       false,
       1,
       "\nFailed Opening File-Open Dialog Box.\nno chooser\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Rig rig;
    rig.view.shown = row.window;
    rig.view.choice = row.choice;
    for (int i = 0; i < row.entries; ++i) appendEntry(rig.session.cue, "s.mid");
    EXPECT_EQ(rig.commands.openFile(), row.added);
    EXPECT_EQ(rig.view.choosers, row.choosers);
    EXPECT_EQ(rig.session.cue.length, row.entries + (row.added ? 1 : 0));
    EXPECT_EQ(rig.log.captured(), row.printed);
    // A file added while songs play rebuilds the title; anything else repaints.
    EXPECT_EQ(rig.view.updates, row.added && row.entries > 0 ? 1 : 0);
  }
}

}  // namespace
}  // namespace tessaro::testing
