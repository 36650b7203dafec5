// The program: start-up, the idle loop, the song loop and the end of the run, on the main
// thread. App is the session of the run with the program's own parts: the services, the status
// window (or the headless one), the commands and the console keys; runProgram plays it.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "common/log.h"
#include "control/commands.h"
#include "control/session.h"
#include "control/song_facts.h"
#include "control/status_view.h"
#include "platform/platform.h"
#include "player/engine.h"
#include "player/song_life.h"

namespace tessaro {

struct App : PlayerObserver, Session {
  App(const platform::Services& services, Log& log);
  // Joins a player thread still running and runs the exit handlers while the window is there.
  ~App() override;
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  platform::Services sys;
  // The status window when a window system is there, else the headless one.
  std::unique_ptr<StatusView> status;
  PlayListReader lists{
      *sys.files, log, sys.environment->pathRules(),
      [this](const std::string& name) { return sys.environment->nativeFileName(name); }};
  SessionCommands commands{*this, *status, lists};

  std::string ProgramDir;
  std::string CurrentSongName;
  bool OldWindows = false;
  bool ConsoleDetached = false;
  int savedPriority = 0;
  int consoleKey = 0;
  bool consoleKeyPending = false;
  bool outputLostReported = false;
  SettingsReader settings;
  // The song playing, as its stored bytes tell, for the status line.
  SongFacts songFacts;
  // A song could not be loaded or played whole: the run ends with status 1.
  bool songFailed = false;
  // What the song's life came to; written by the player thread, read after it has been joined.
  SongOutcome songOutcome;

  // What the player tells: notes to the window, its waits a chance to pump the window (on the
  // main thread only), the large-track question answered by the last console key.
  void noteChanged(int channel, int note, bool sounding) override;
  void waiting() override;
  int largeTrackAnswer() override;

 private:
  std::thread::id mainThread_ = std::this_thread::get_id();
};

// Runs the whole program with the command-line words; returns the exit status: 0 every song
// played, 1 a song or the output failed, 2 a mistake in the call or nothing to play, 128 + the
// signal after a stop request by signal. The exit handlers have run when it returns.
int runProgram(App& app, const std::vector<std::string>& words);

// Moves the list by this turn's wheel notches, carried in accumulator between turns.
void applyWheel(App& app, int& accumulator);

// The user asked from outside the program's keys to stop (Ctrl+C, a request to terminate).
bool interrupted(App& app);
// A serial line that failed is gone for the rest of the run: said once, in plain words.
bool outputLost(App& app);
// This turn's key: a window key replaces a console key taken in the same turn.
int takeTurnKey(App& app);

// Console keys: the pending key, read without waiting (the window is pumped first).
int pollConsoleKey(App& app);
int takeConsoleKey(App& app);

}  // namespace tessaro
