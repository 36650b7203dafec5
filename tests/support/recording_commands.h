// Commands that only record what they were asked, one line each ("volume -20", "queue a.mid"),
// so that a parser's tests check what it parses and nothing of the commands' effects.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "control/commands.h"

namespace tessaro::testing {

class RecordingCommands : public Commands {
 public:
  void setComPort(int32_t port) override { add("com", port); }
  void setVolume(int32_t volume) override { add("volume", volume); }
  void setFadeSpeed(int32_t speed) override { add("fade speed", speed); }
  void setStandardFade() override { add("fade standard"); }
  void setFadeStep(int32_t step) override { add("fade step", step); }
  void setFadeInterval(int32_t ms) override { add("fade interval", ms); }
  void setConsoleMode() override { add("console"); }
  void setStartMeasure(int32_t measure) override { add("measure", measure); }
  void setStartBeat(int32_t beat) override { add("beat", beat); }
  void setRepeats(int32_t count) override { add("repeats", count); }
  void sendByte(int32_t value) override {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(value));
    add(std::string("byte ") + hex);
  }
  bool queueFile(const std::string& path) override {
    add("queue " + path);
    return queueAccepts;
  }
  void setShuffle() override { add("shuffle"); }
  void setSeed(uint32_t seed) override { add("seed", seed); }
  void setLoop() override { add("loop"); }
  void setOutput(const std::string& path) override { add("output " + path); }
  void setJobs(int32_t jobs) override { add("jobs", jobs); }
  void setOutputType(const std::string& type) override { add("type " + type); }
  void setNoClobber() override { add("no clobber"); }
  void setSoundFont(const std::string& path) override { add("soundfont " + path); }
  void setSampleRate(int32_t rate) override { add("rate", rate); }
  void setGain(double gain) override { add("gain " + std::to_string(gain)); }
  void setQuiet() override { add("quiet"); }
  void setVerbose() override { add("verbose"); }
  void setPort(const std::string& name) override { add("port " + name); }
  void setStatusLine(bool on) override { add(on ? "status line on" : "status line off"); }
  void setInput(const std::string& name) override { add("input " + name); }
  void setSourceConvention(const std::string& name) override { add("from " + name); }
  void showHelp() override { add("help"); }
  void showVersion() override { add("version"); }
  void listPorts() override { add("list ports"); }
  void setConversion(Conversion conversion, Echo echo) override {
    static const char* const names[] = {"xg", "gm", "off", "all off"};
    add(std::string("conversion ") + names[static_cast<int>(conversion)] + echoed(echo));
  }
  void setReportLevel(int level, Echo echo) override {
    add("report " + std::to_string(level) + echoed(echo));
  }
  void stepVolume(int32_t step) override { add("volume step", step); }
  void stepRepeats(int step) override { add("repeats step", step); }
  void resetModule() override { add("reset module"); }
  void fadeOut() override { add("fade out"); }
  void speedUp() override { add("faster"); }
  void normalSpeed() override { add("normal speed"); }
  void slowDown() override { add("slower"); }
  bool openFile() override {
    add("open file");
    return false;
  }
  void dropFiles(const std::vector<std::string>& paths) override {
    for (const std::string& path : paths) add("drop " + path);
  }
  void stopSong() override { add("stop song"); }
  void nextSong() override { add("next song"); }
  void previousSong() override { add("previous song"); }
  void togglePause() override { add("pause"); }
  void seekMeasures(int32_t measures) override { add("seek", measures); }
  void seekToStart() override { add("seek start"); }
  void quit() override { add("quit"); }
  void selectRow(int row) override { add("select row", row); }
  void scrollList(int step) override { add("scroll", step); }
  void removeEntry(int32_t index) override { add("remove", index); }

  // The calls so far, separated by "; ".
  std::string text() const {
    std::string out;
    for (const std::string& call : calls) out += (out.empty() ? "" : "; ") + call;
    return out;
  }

  std::vector<std::string> calls;
  bool queueAccepts = true;

 private:
  static const char* echoed(Echo echo) { return echo == Echo::confirm ? " (said)" : ""; }
  void add(const std::string& call) { calls.push_back(call); }
  void add(const std::string& call, int64_t value) { add(call + " " + std::to_string(value)); }
};

}  // namespace tessaro::testing
