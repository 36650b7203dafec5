// The program: start-up, the idle loop, the song loop and the end of the run, on the main
// thread. App owns one instance of every record of the run; runProgram plays it.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/file_cue.h"
#include "app/settings.h"
#include "common/exit_handlers.h"
#include "common/log.h"
#include "common/playback_options.h"
#include "midiout/midi_port.h"
#include "platform/platform.h"
#include "player/engine.h"

namespace tessaro {

class StatusLink;

struct App {
  App(const platform::Services& services, Log& log);
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  platform::Services sys;
  Log& log;
  ExitHandlers exitHandlers;
  PlaybackOptions options;
  std::atomic<bool> fullRepaintRequest{false};
  MidiPort port;
  Engine engine;
  FileCue cue;
  CueView view;

  std::string ProgramDir;
  std::string CurrentSongName;
  bool OldWindows = false;
  bool ConsoleDetached = false;
  int savedPriority = 0;
  int consoleKey = 0;
  bool consoleKeyPending = false;
  bool outputLostReported = false;
  std::unique_ptr<platform::PlayerThread> player;
  SettingsReader settings;

  // The status window, when there is one: repaint of the status strip, and the file-open
  // dialog (true when a file was added). Without a window both do nothing.
  std::function<void()> paintStatusHook;
  std::function<bool()> fileDialogHook;
  // The status window and its pictures, when a window system is there.
  std::unique_ptr<StatusLink> status;
};

// Repaints the status strip of the window.
void paintStatus(App& app);
// Offers the file-open dialog; the chosen file joins the cue.
void openFileDialog(App& app);

// Runs the whole program with the command-line words; returns the exit code. The exit
// handlers have run when it returns.
int runProgram(App& app, const std::vector<std::string>& words);

// Console keys: the pending key, read without waiting.
int pollConsoleKey(App& app);
int takeConsoleKey(App& app);

}  // namespace tessaro
