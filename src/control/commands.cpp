#include "control/commands.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "live/live_session.h"

namespace tessaro {

namespace {

// a + b kept within the 32-bit range.
int32_t saturatingAdd(int32_t a, int64_t b) {
  return static_cast<int32_t>(std::clamp<int64_t>(a + b, INT32_MIN, INT32_MAX));
}

// A few words with a number, as the status line shows what a key did.
std::string withNumber(const char* format, long long value) {
  char text[48];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

platform::ModuleConvention moduleConventionOf(Target target) {
  switch (target) {
    case Target::xg:
      return platform::ModuleConvention::xg;
    case Target::gm:
      return platform::ModuleConvention::gm;
    default:
      return platform::ModuleConvention::gs;
  }
}

void SessionCommands::setComPort(int32_t port) {
  s_.options.comPort = port;
  s_.log.print("COM port = COM%d \n", port);
}

void SessionCommands::setVolume(int32_t volume) {
  s_.options.volumeAdd = volume;
  s_.request({RequestKind::volume});
  s_.log.print("Volume = %d \n", volume);
}

void SessionCommands::setFadeSpeed(int32_t speed) {
  PlaybackOptions& options = s_.options;
  speed = std::max(speed, 2);
  if (speed >= 224) {
    options.fadeInterval = 125;
    options.fadeStep = speed / 56;
  } else {
    options.fadeStep = 3;
    options.fadeInterval = 21000 / speed;
  }
  s_.log.print("FadeOutSpeed = %d \n", speed);
}

void SessionCommands::setStandardFade() {
  s_.options.fadeInterval = 210;
  s_.options.fadeStep = 3;
  s_.log.print("FadeOutSpeed = std. (100) \n");
}

void SessionCommands::setFadeStep(int32_t step) {
  s_.options.fadeStep = step;
  s_.log.print("FadeOutVolStep = %d \n", step);
}

void SessionCommands::setFadeInterval(int32_t ms) {
  s_.options.fadeInterval = ms;
  s_.log.print("FadeOutCycleTime = %d \n", ms);
}

void SessionCommands::setConsoleMode() {
  s_.options.consoleMode = true;
  s_.log.print("Console mode: ON.\n");
}

void SessionCommands::setStartMeasure(int32_t measure) {
  s_.options.skipToMeasure = measure;
  s_.log.print("Skip to Meas = %d \n", measure);
}

void SessionCommands::setStartBeat(int32_t beat) {
  s_.options.skipToBeat = beat;
  s_.log.print("Skip to Beat = %d \n", beat);
}

void SessionCommands::setRepeats(int32_t count) {
  s_.request({RequestKind::setRepeats, count});
  s_.log.print("Repeat Time = %d \n", count);
}

void SessionCommands::sendByte(int32_t value) {
  s_.log.print("%04X ", static_cast<unsigned>(value));
  if (s_.conversion.wanted) {
    s_.conversion.directBytes.push_back(static_cast<uint8_t>(value));
  } else {
    sendDirectByte(s_.port, value);
  }
}

bool SessionCommands::queueFile(const std::string& path) {
  if (!isPlayListName(path)) return queueSong(path);
  for (const std::string& song : lists_.songsOf(path)) queueSong(song);
  return true;
}

bool SessionCommands::queueSong(const std::string& path) {
  if (s_.conversion.wanted) {
    s_.conversion.songs.push_back(path);
    return true;
  }
  if (path.size() > CuePathLimit) return false;
  if (!appendEntry(s_.cue, path)) s_.cue.backlog.push_back(path);
  return true;
}

void SessionCommands::setShuffle() {
  s_.cue.order.shuffle = true;
}

void SessionCommands::setSeed(uint32_t seed) {
  s_.cue.order.shuffle = true;
  s_.cue.order.seeded = true;
  s_.cue.order.seed = seed;
}

void SessionCommands::setLoop() {
  s_.cue.order.loop = true;
}

void SessionCommands::setOutput(const std::string& path) {
  s_.conversion.wanted = true;
  s_.conversion.path = path;
}

void SessionCommands::setJobs(int32_t jobs) {
  s_.conversion.jobs = jobs;
}

void SessionCommands::setOutputType(const std::string& type) {
  s_.conversion.type = type;
}

void SessionCommands::setNoClobber() {
  s_.conversion.noClobber = true;
}

void SessionCommands::setSoundFont(const std::string& path) {
  s_.synth.soundFont = path;
}

void SessionCommands::setSampleRate(int32_t rate) {
  s_.synth.sampleRate = rate;
}

void SessionCommands::setGain(double gain) {
  s_.synth.gain = gain;
}

void SessionCommands::setQuiet() {
  s_.log.setQuiet(true);
  s_.statusLine = false;
  s_.quiet = true;
}

// As the report level 1 (/1), unless more is asked for already; said by nothing.
void SessionCommands::setVerbose() {
  s_.options.DispLevel = std::max(s_.options.DispLevel.load(), 1);
}

void SessionCommands::setPort(const std::string& name) {
  bool serial = name.find('/') != std::string::npos;
  bool taken =
      serial ? s_.port.serialPorts.chooseDevice(name) : s_.port.midiOutputs.choosePort(name);
  if (!taken) {
    s_.log.print("Port names are not taken on this system: %s \n", name.c_str());
    return;
  }
  if (serial && s_.options.comPort <= 0) s_.options.comPort = 1;
  if (!serial) s_.options.comPort = 0;
  s_.log.print("MIDI port = %s \n", name.c_str());
}

void SessionCommands::setStatusLine(bool on) {
  s_.statusLine = on;
}

void SessionCommands::setInput(const std::string& name) {
  s_.live.input = name;
}

void SessionCommands::setSourceConvention(const std::string& name) {
  s_.live.badFrom.clear();
  if (!sourceConventionNamed(name, s_.live.from)) s_.live.badFrom = name;
}

void SessionCommands::showHelp() {
  s_.log.write(helpText(s_.facts));
}

void SessionCommands::showVersion() {
  s_.log.print("tessaro %s\n", s_.facts.version.c_str());
}

void SessionCommands::listPorts() {
  platform::PortListing listing = s_.port.midiOutputs.listPorts();
  if (!listing.reason.empty()) {
    s_.log.print("MIDI ports: none (%s)\n", listing.reason.c_str());
  } else {
    s_.log.print("MIDI ports (-p ADDRESS or -p NAME):\n");
    for (const platform::PortListing::Port& port : listing.ports)
      s_.log.print("  %-7s %s\n", port.address.c_str(), port.name.c_str());
    if (listing.ports.empty()) s_.log.print("  none\n");
  }
  if (s_.inputs != nullptr) listInputs(s_.log, s_.inputs->listPorts());
  std::vector<std::string> devices = s_.port.serialPorts.listDevices();
  s_.log.print(devices.empty() ? "Serial devices: none\n" : "Serial devices (-p PATH):\n");
  for (const std::string& device : devices) s_.log.print("  %s\n", device.c_str());
}

void SessionCommands::setConversion(Conversion conversion, Echo echo) {
  static constexpr const char* messages[] = {
      "GS => XG conversion AUTO-DETECT.\n", "GS => GM conversion AUTO-DETECT.\n",
      "GS => XG conversion OFF.\n", "88GS/XG/GM conversion ALL OFF.\n"};
  Target target = conversion == Conversion::xg   ? Target::xg
                  : conversion == Conversion::gm ? Target::gm
                                                 : Target::none;
  s_.options.target = target;
  if (echo == Echo::confirm) s_.log.print("%s", messages[static_cast<int>(conversion)]);
  setPortConvention(s_.port, moduleConventionOf(target));
  view_.refresh();
}

void SessionCommands::setReportLevel(int level, Echo echo) {
  s_.options.DispLevel = level;
  if (echo == Echo::confirm) s_.log.print("DispLevel=%d  RealPlay=ON\n", level);
}

void SessionCommands::stepVolume(int32_t step) {
  s_.options.volumeAdd = saturatingAdd(s_.options.volumeAdd, step);
  s_.request({RequestKind::volume});
  s_.lastAction = withNumber("vol %+lld", s_.options.volumeAdd);
  view_.refresh();
}

// The player owns the repeat count and the speed: the words say what the request makes of the
// values it has published.
void SessionCommands::stepRepeats(int step) {
  int32_t count = s_.engine.state.repeatCount;
  int32_t after =
      step > 0 ? (count < 0 ? 0 : saturatingAdd(count, 1)) : (count <= 0 ? 0 : count - 1);
  s_.request({RequestKind::stepRepeats, step > 0 ? 1 : -1});
  s_.lastAction = withNumber("repeats %lld", after);
  view_.refresh();
}

void SessionCommands::resetModule() {
  s_.request({RequestKind::resetModule});
  s_.lastAction = "GM System On";
}

void SessionCommands::fadeOut() {
  s_.request({RequestKind::fade});
  s_.lastAction = "fade";
  view_.refresh();
}

void SessionCommands::speedUp() {
  setSpeed(RequestKind::faster, fasterSpeed(s_.engine.state.speedDivisor));
}

void SessionCommands::normalSpeed() {
  setSpeed(RequestKind::normalSpeed, DefaultSpeedDivisor);
}

void SessionCommands::slowDown() {
  setSpeed(RequestKind::slower, slowerSpeed(s_.engine.state.speedDivisor));
}

void SessionCommands::setSpeed(RequestKind kind, int32_t divisor) {
  s_.request({kind});
  s_.lastAction = withNumber("speed %lld %%", (static_cast<long long>(divisor) + 5) / 10);
  view_.refresh();
}

bool SessionCommands::openFile() {
  if (!view_.exists() || s_.cue.length >= CueCapacity) return false;
  bool idle = s_.cue.length == 0;
  platform::FileChoice choice = view_.chooseFile();
  bool added = false;
  if (choice.result == platform::FileChoice::Result::chosen && isPlayListName(choice.path)) {
    size_t before = s_.cue.backlog.size() + static_cast<size_t>(s_.cue.length);
    queueFile(choice.path);
    added = s_.cue.backlog.size() + static_cast<size_t>(s_.cue.length) > before;
  } else if (choice.result == platform::FileChoice::Result::chosen) {
    added = appendEntry(s_.cue, choice.path);
    if (!added) s_.log.print("Path Too Long.\n");
  } else {
    s_.log.print("\nFailed Opening File-Open Dialog Box.\n");
    if (choice.result == platform::FileChoice::Result::failed)
      s_.log.print("%s\n", choice.error.c_str());
  }
  view_.releaseControls();
  if (!idle && added) {
    view_.update();
  } else {
    view_.refresh();
  }
  return added;
}

void SessionCommands::dropFiles(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    if (path.size() > CuePathLimit) {
      s_.log.print("Path Too Long.\n");
    } else if (isPlayListName(path)) {
      queueFile(path);
    } else if (s_.cue.length < CueCapacity) {
      appendEntry(s_.cue, path);
    }
  }
}

void SessionCommands::stopSong() {
  endSong(SongMove::next);
}

void SessionCommands::nextSong() {
  endSong(SongMove::next);
}

void SessionCommands::previousSong() {
  endSong(SongMove::previous);
}

// The song loop (main thread) reads what follows once the player has stopped the song.
void SessionCommands::endSong(SongMove after) {
  s_.cue.after = after;
  // A write that waits on a held line must not hold the stop.
  if (s_.ownerRunning()) interruptOutput(s_.port);
  s_.request({RequestKind::stop});
}

void SessionCommands::togglePause() {
  s_.lastAction = s_.engine.state.paused ? "resume" : "pause";
  s_.request({RequestKind::pause});
  view_.refresh();
}

void SessionCommands::seekMeasures(int32_t measures) {
  s_.request({RequestKind::seekMeasures, measures});
  s_.lastAction = withNumber(measures > 0 ? "bar +%lld" : "bar %lld", measures);
}

void SessionCommands::seekToStart() {
  s_.request({RequestKind::seekTick, 0});
  s_.lastAction = "start";
}

void SessionCommands::quit() {
  s_.quitRequested = true;
  stopSong();
  s_.lastAction = "quit";
}

void SessionCommands::selectRow(int row) {
  CueView& view = s_.view;
  int32_t entry = view.ListTop + row;
  int32_t last = s_.cue.length - 1;
  if (row == 0) {
    if (view.ListTop > last) return;  // nothing shown there: no change, no repaint
    view.SelectedEntry = entry;
  } else {
    view.SelectedEntry = entry <= last ? entry : -1;
  }
  view_.refresh();
}

void SessionCommands::scrollList(int step) {
  int32_t& top = s_.view.ListTop;
  int32_t last = s_.cue.length - 1;
  if (step == -1) {
    if (top > 0) --top;
  } else if (step == 1) {
    if (top < last) ++top;
  } else {
    top = std::max(std::min(saturatingAdd(top, step), last), 0);
  }
  view_.refresh();
}

void SessionCommands::removeEntry(int32_t index) {
  FileCue& cue = s_.cue;
  if (index < 0 || index >= cue.length) return;
  for (int32_t i = index; i + 1 < cue.length; ++i)
    cue.entries[static_cast<size_t>(i)] = std::move(cue.entries[static_cast<size_t>(i) + 1]);
  cue.entries[static_cast<size_t>(cue.length) - 1].clear();
  --cue.length;
  if (s_.view.SelectedEntry >= cue.length) s_.view.SelectedEntry = -1;
  view_.update();
}

}  // namespace tessaro
