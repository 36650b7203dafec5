// The command layer: the only code that changes the options, the player's state and the play
// list. The command line, the settings file, the console keys and the window controls are
// parsers that turn their input into these commands. Every command keeps its arithmetic in
// range, whatever number it is given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/conventions.h"
#include "control/playlist_file.h"
#include "control/session.h"
#include "control/status_view.h"

namespace tessaro {

// The translation an option names: off (/nx) and allOff (/nc) both translate nothing.
enum class Conversion { xg, gm, off, allOff };

// Whether a command says on the console what it set (options do; keys and clicks do not).
enum class Echo { quiet, confirm };

class Commands {
 public:
  virtual ~Commands() = default;

  // --- Options: each says on the console what it set.
  virtual void setComPort(int32_t port) = 0;
  virtual void setVolume(int32_t volume) = 0;
  // The fade-out speed: 100 is 3 units every 210 ms; below 2 counts as 2.
  virtual void setFadeSpeed(int32_t speed) = 0;
  // The standard fade-out: 3 units every 210 ms.
  virtual void setStandardFade() = 0;
  virtual void setFadeStep(int32_t step) = 0;
  virtual void setFadeInterval(int32_t ms) = 0;
  virtual void setConsoleMode() = 0;
  virtual void setStartMeasure(int32_t measure) = 0;
  virtual void setStartBeat(int32_t beat) = 0;
  virtual void setRepeats(int32_t count) = 0;
  // A byte sent to the module at once (0-255; only the low eight bits go out).
  virtual void sendByte(int32_t value) = 0;
  // Joins the play list, or its backlog while the list is full; false (nothing added) when the
  // name is too long. During a conversion the song joins the conversion's list instead. A play
  // list (.m3u, .m3u8) gives its songs.
  virtual bool queueFile(const std::string& path) = 0;
  // The songs in a random order; the order a seed gives (and shuffled); the list again after
  // its last song.
  virtual void setShuffle() = 0;
  virtual void setSeed(uint32_t seed) = 0;
  virtual void setLoop() = 0;
  // Converts the songs offline into path (a file, or a directory) instead of playing them;
  // an empty path is a usage error the conversion reports.
  virtual void setOutput(const std::string& path) = 0;
  // Songs converted at once: 0 one per core; below 0 a usage error.
  virtual void setJobs(int32_t jobs) = 0;
  // The output's type (mid, wav, flac, ogg) when its name has no extension, or for standard
  // output.
  virtual void setOutputType(const std::string& type) = 0;
  // Songs whose output exists already are skipped.
  virtual void setNoClobber() = 0;
  // The built-in synthesizer's SoundFont, sample rate and gain, live and offline.
  virtual void setSoundFont(const std::string& path) = 0;
  virtual void setSampleRate(int32_t rate) = 0;
  virtual void setGain(double gain) = 0;
  // Nothing but errors on the console (no banner, no progress), or more than the default.
  virtual void setQuiet() = 0;
  virtual void setVerbose() = 0;
  // The output port by name: a serial device path (a name holding a '/'), which the COM port
  // output then opens (COM1 unless a COM port is chosen), or a message port in the system's own
  // form, which the default output opens.
  virtual void setPort(const std::string& name) = 0;
  // The status line on a terminal, on or off.
  virtual void setStatusLine(bool on) = 0;
  // Live translation: MIDI read from this input (a serial device path, or a MIDI input port in
  // the system's own form) instead of songs.
  virtual void setInput(const std::string& name) = 0;
  // The convention the live input is written in (gs, sc88, xg, gm); a name of none is a
  // mistake of the call.
  virtual void setSourceConvention(const std::string& name) = 0;

  // --- Requests answered at once, before the run starts.
  virtual void showHelp() = 0;
  virtual void showVersion() = 0;
  // The message ports and the serial devices a user can name.
  virtual void listPorts() = 0;

  // --- Options, keys and controls.
  virtual void setConversion(Conversion conversion, Echo echo) = 0;
  virtual void setReportLevel(int level, Echo echo) = 0;

  // --- Keys and controls.
  virtual void stepVolume(int32_t step) = 0;
  // One repeat more (step > 0) or fewer; the count stays 0 or above.
  virtual void stepRepeats(int step) = 0;
  // GM System On to the module, with time for it before the next events.
  virtual void resetModule() = 0;
  virtual void fadeOut() = 0;
  virtual void speedUp() = 0;
  virtual void normalSpeed() = 0;
  virtual void slowDown() = 0;
  // The file chooser of the window; the chosen file joins the list. True when one was added.
  virtual bool openFile() = 0;
  // Files dropped on the window join the list.
  virtual void dropFiles(const std::vector<std::string>& paths) = 0;
  // Stops the song that plays: its notes are silenced and GM System On follows.
  virtual void stopSong() = 0;
  // Stops the song as stopSong does; the next song follows, or the one played before it again.
  virtual void nextSong() = 0;
  virtual void previousSong() = 0;
  // Pauses the song that plays, or resumes it.
  virtual void togglePause() = 0;
  // Moves the song by whole measures (forward: the start of the measure that many on; back:
  // the start of the measure under way counting as the first, or of the one before when it has
  // only begun), or to its start; the module's state is chased.
  virtual void seekMeasures(int32_t measures) = 0;
  virtual void seekToStart() = 0;
  // Ends the run after the song's stop sequence.
  virtual void quit() = 0;
  // The list rows of the window: row 0-2 selected, the list moved by step entries (one at a
  // time stops at either end), an entry removed.
  virtual void selectRow(int row) = 0;
  virtual void scrollList(int step) = 0;
  virtual void removeEntry(int32_t index) = 0;
};

// The commands acting on one session, with the window (or the headless one) showing them.
class SessionCommands : public Commands {
 public:
  // lists: how the play lists among the songs are read.
  SessionCommands(Session& session, StatusView& view, PlayListReader& lists)
      : s_(session), view_(view), lists_(lists) {}

  void setComPort(int32_t port) override;
  void setVolume(int32_t volume) override;
  void setFadeSpeed(int32_t speed) override;
  void setStandardFade() override;
  void setFadeStep(int32_t step) override;
  void setFadeInterval(int32_t ms) override;
  void setConsoleMode() override;
  void setStartMeasure(int32_t measure) override;
  void setStartBeat(int32_t beat) override;
  void setRepeats(int32_t count) override;
  void sendByte(int32_t value) override;
  bool queueFile(const std::string& path) override;
  void setShuffle() override;
  void setSeed(uint32_t seed) override;
  void setLoop() override;
  void setOutput(const std::string& path) override;
  void setJobs(int32_t jobs) override;
  void setOutputType(const std::string& type) override;
  void setNoClobber() override;
  void setSoundFont(const std::string& path) override;
  void setSampleRate(int32_t rate) override;
  void setGain(double gain) override;
  void setQuiet() override;
  void setVerbose() override;
  void setPort(const std::string& name) override;
  void setStatusLine(bool on) override;
  void setInput(const std::string& name) override;
  void setSourceConvention(const std::string& name) override;
  void showHelp() override;
  void showVersion() override;
  void listPorts() override;
  void setConversion(Conversion conversion, Echo echo) override;
  void setReportLevel(int level, Echo echo) override;
  void stepVolume(int32_t step) override;
  void stepRepeats(int step) override;
  void resetModule() override;
  void fadeOut() override;
  void speedUp() override;
  void normalSpeed() override;
  void slowDown() override;
  bool openFile() override;
  void dropFiles(const std::vector<std::string>& paths) override;
  void stopSong() override;
  void nextSong() override;
  void previousSong() override;
  void togglePause() override;
  void seekMeasures(int32_t measures) override;
  void seekToStart() override;
  void quit() override;
  void selectRow(int row) override;
  void scrollList(int step) override;
  void removeEntry(int32_t index) override;

 private:
  void setSpeed(RequestKind kind, int32_t divisor);
  bool queueSong(const std::string& path);
  void endSong(SongMove after);

  Session& s_;
  StatusView& view_;
  PlayListReader& lists_;
};

// The help text: every option in both forms, the keys, the variables, the settings file, the
// exit status and examples.
std::string helpText(const ProgramFacts& facts);

// The device's bank-select style for a target: untranslated songs keep their own convention,
// most often GS.
platform::ModuleConvention moduleConventionOf(Target target);

}  // namespace tessaro
