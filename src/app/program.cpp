// Start-up, idle loop, song loop and the end of the run.
#include "app/program.h"

#include <algorithm>

#include "app/conversion.h"
#include "app/keys.h"
#include "app/options.h"
#include "app/status_link.h"

namespace tessaro {

namespace {

constexpr size_t tooManyWords = 512;
constexpr int consoleFlushLimit = 4096;

constexpr int32_t pumpIntervalMs = 25;

void sleepMs(App& app, int32_t ms) {
  app.sys.clock->sleepMs(ms);
}

// A fixed wait of the main thread once the window is there: the window is pumped every 25 ms,
// as during a song, so that it repaints and its controls answer between songs.
void wait(App& app, int32_t ms) {
  while (ms > 0) {
    int32_t piece = app.status->exists() ? std::min(ms, pumpIntervalMs) : ms;
    sleepMs(app, piece);
    ms -= piece;
    app.status->pump();
  }
}

void settingsPass(App& app, const std::string& path, int number) {
  SettingsPass pass{
      app.commands,
      app.log,
      *app.sys.files,
      app.ProgramDir,
      number,
      app.sys.environment->pathRules(),
      [&app](const std::string& name) { return app.sys.environment->nativeFileName(name); }};
  if (readSettingsPass(app.settings, pass, path))
    app.exitHandlers.add([&app] { closeSettings(app.settings); });
}

// Console keys typed before the window appeared are dropped.
void flushConsole(App& app) {
  for (int i = 0; i < consoleFlushLimit && app.sys.console->readKey() != 0; ++i) {
  }
}

// Start-up: the window is made and painted; unless console mode is asked for, keys come from
// the window alone from then on.
void openStatusWindow(App& app) {
  if (!app.status->open()) return;
  flushConsole(app);
  if (!app.options.consoleMode) {
    app.sys.console->release();
    app.ConsoleDetached = true;
  }
  app.status->releaseTopmost();
}

// Start-up up to the opened port. False when the run ends here with exitCode.
bool startUp(App& app, const std::vector<std::string>& words, int& exitCode) {
  clearCue(app.cue);
  app.view = CueView{};
  app.ConsoleDetached = false;
  app.log.print("Tessaro - MIDI file player with real-time GS/XG/GM translation\n");

  if (!app.sys.priorities->getMainPriority(app.savedPriority))
    app.log.print("Failed Getting Priority.\n");
  if (!app.sys.priorities->setMainPriorityLowest()) app.log.print("Failed Setting Priority.\n");

  app.options.comPort = 0;
  app.options.DispLevel = 0;
  app.options.target = Target::xg;

  std::string word0 = words.empty() ? std::string() : words[0];
  const platform::PathRules paths = app.sys.environment->pathRules();
  app.ProgramDir =
      directoryPart(app.sys.environment->programPath(word0), paths.separator, paths.skipLeadBytes);
  if (words.size() >= tooManyWords) app.log.print("Too many command line parameters.\n");

  std::string settingsFile = app.sys.environment->settingsPath(app.ProgramDir);
  settingsPass(app, settingsFile, 1);
  if (commandLineFirstPass(app.commands, app.log, words)) {
    exitCode = 0;
    return false;
  }
  // A conversion (-o) plays nothing in real time: none of the waits below, no port, no window.
  if (app.conversion.wanted) {
    exitCode = runOfflineConversion(app, [&] {
      settingsPass(app, settingsFile, 2);
      commandLineSecondPass(app.commands, words);
    });
    return false;
  }
  sleepMs(app, 2000);
  app.options.skipToMeasure = 0;
  app.options.skipToBeat = 0;
  app.OldWindows = app.sys.environment->oldSystem();

  app.log.print("Initializing MIDI System ... \n");
  if (openMidiPort(app.port, app.options.comPort, platform::MidiOutputs::mapper,
                   app.options.DispLevel >= 1) != 0) {
    if (app.sys.environment->japaneseUser()) {
      app.log.print("\nMIDI は他のアプリケーションが使用中です.\n");
      app.log.print(
          "\n演奏リストへ追加する場合は、直接リスト上へドラッグ＆ドロップしてください.\n");
    } else {
      app.log.print("MIDI Device is Already Used by another application.\n");
    }
    sleepMs(app, 1000);
    exitCode = -1;
    return false;
  }
  // The default target chosen above; the conversion options tell the port again if they change it.
  setPortConvention(app.port, moduleConventionOf(app.options.target));
  sleepMs(app, 100);
  app.engine.translator.shown = SongConvention::none;
  std::string failedPicture;
  if (!app.status->buildPictures(failedPicture)) {
    app.log.print("No corresponding function <%s>\n", failedPicture.c_str());
    exitCode = 1;
    return false;
  }
  app.log.print("OK.\n");
  app.options.volumeAdd = 0;
  if (!app.sys.priorities->raiseProcessPriority()) app.log.print("Failed Setting Priority.\n");
  sleepMs(app, 500);

  settingsPass(app, settingsFile, 2);
  commandLineSecondPass(app.commands, words);
  openStatusWindow(app);
  return true;
}

// The user asked from outside the program's keys to stop (Ctrl+C, a request to terminate).
bool interrupted(App& app) {
  return app.sys.console->interrupted();
}

// A serial line that failed is gone for the rest of the run: said once, in plain words.
bool outputLost(App& app) {
  if (!outputLost(app.port)) return false;
  if (!app.outputLostReported) {
    app.outputLostReported = true;
    app.log.print("\nCOM%d takes no more data (%s): playback stops.\n", app.port.portSelector,
                  outputLostReason(app.port).c_str());
  }
  return true;
}

// Takes this turn's key: a window key replaces a console key taken in the same turn.
int takeTurnKey(App& app) {
  int key = 0;
  if (pollConsoleKey(app) != 0) key = takeConsoleKey(app);
  if (app.status->peekKey() != 0) key = app.status->takeKey();
  return key;
}

// Waits for a first file. False when the run is to end (exit code 0).
bool idleLoop(App& app) {
  while (app.cue.length == 0) {
    sleepMs(app, app.OldWindows ? 100 : 50);
    if (app.status->closedByUser() || interrupted(app) || outputLost(app)) return false;
    int key = takeTurnKey(app);
    if (key != 0 && applyIdleKey(app.commands, key) == IdleAction::quit) return false;
    // Without a window, keys are the only way in: input that has ended can bring no file.
    if (key == 0 && !app.ConsoleDetached && !app.status->exists() && app.sys.console->inputEnded())
      return false;
  }
  return true;
}

void startPlayerThread(App& app) {
  Engine& engine = app.engine;
  engine.thread = app.sys.threads->createSuspended([&engine] { playerThread(engine); });
  engine.thread->setTimeCritical();
  wait(app, 400);
  engine.thread->resume();
}

void playLoop(App& app) {
  PlayerState& state = app.engine.state;
  int wheel = 0;
  while (state.threadStatus != 0) {
    sleepMs(app, app.OldWindows ? 100 : 25);
    // A stop request from outside, or an output that has gone, stops the song at once (not
    // after the wait that lets a song's last notes ring); the run ends after it.
    if (interrupted(app) || outputLost(app)) {
      stopPlayback(app.engine);
      break;
    }
    if (state.threadStatus != 0 && app.engine.thread->hasEnded()) {
      wait(app, 2000);
      stopPlayback(app.engine);
    }
    app.status->update();
    applyWheel(app, wheel);
    // A closed window stops the song; the run ends after it.
    if (app.status->closedByUser() && state.threadStatus != 0) stopPlayback(app.engine);
    int key = takeTurnKey(app);
    if (key != 0) applyPlayKey(app.commands, key);
  }
}

void playSong(App& app) {
  Engine& engine = app.engine;
  dropPlayedEntries(app.cue, app.view);
  engine.state.fadeActive = 0;
  app.status->releaseControls();
  app.status->update();

  const std::string& entry = app.cue.entries[static_cast<size_t>(app.cue.current)];
  // A song that memory could not be had for (or whose large track the user declined) is not
  // played in part: what was loaded is let go and the preparation reports an empty song.
  if (loadSong(engine, entry.c_str()) == loadNoMemory && engine.song.trackCount != 0)
    freeSong(engine);
  findFileName(*app.sys.files, entry, app.CurrentSongName);

  if (!app.sys.priorities->setMainPriority(app.savedPriority))
    app.log.print("Failed Recovering Priority.\n");
  wait(app, 200);

  int code = preparePlayback(engine);
  app.status->showAllAfresh();
  if (code != 0 || app.options.DispLevel >= 1) app.log.print("Initailize Result Code = %d\n", code);
  // Negative positions from the command line count as the start.
  int32_t measure = std::max(app.options.skipToMeasure, 0);
  int32_t beat = std::max(app.options.skipToBeat, 0);
  if (code == 0 && (measure >= 1 || beat >= 1))
    positionToMeasure(engine, measure > 0 ? measure - 1 : 0, beat > 0 ? beat - 1 : 0);

  wait(app, 200);
  setUserVolume(engine);
  wait(app, 200);

  startPlayerThread(app);
  playLoop(app);
  // The player thread has returned or is about to: it is joined before the song is freed.
  engine.thread.reset();

  wait(app, 200);
  freeSong(engine);
  setUserVolume(engine);
  engine.state.repeatSetByUser = 0;
  ++app.cue.current;
}

}  // namespace

App::App(const platform::Services& services, Log& log)
    : Session(*services.clock, *services.serial, *services.midiOut, log, *this),
      sys(services),
      status(makeStatusView(*this)) {}

App::~App() {
  engine.thread.reset();
  exitHandlers.runAll();
}

void App::noteChanged(int channel, int note, bool sounding) {
  status->noteChanged(channel, note, sounding);
}

// The player thread waits too; only the main thread may touch the window.
void App::waiting() {
  if (std::this_thread::get_id() == mainThread_) status->pump();
}

int App::largeTrackAnswer() {
  return takeConsoleKey(*this);
}

// One step (and one repaint) a notch, or all at once on old systems.
void applyWheel(App& app, int& accumulator) {
  accumulator += app.status->takeWheel();
  if (accumulator != 0 && app.OldWindows) {
    app.commands.scrollList(accumulator);
    accumulator = 0;
  }
  for (; accumulator < 0; ++accumulator) app.commands.scrollList(-1);
  for (; accumulator > 0; --accumulator) app.commands.scrollList(1);
}

int pollConsoleKey(App& app) {
  app.status->pump();
  if (app.consoleKeyPending) return app.consoleKey;
  if (!app.ConsoleDetached) {
    int key = app.sys.console->readKey();
    if (key != 0) {
      app.consoleKey = key;
      app.consoleKeyPending = true;
      return key;
    }
  }
  return 0;
}

int takeConsoleKey(App& app) {
  app.consoleKeyPending = false;
  return app.consoleKey;
}

int runProgram(App& app, const std::vector<std::string>& words) {
  int exitCode = 0;
  if (!startUp(app, words, exitCode)) {
    app.exitHandlers.runAll();
    return exitCode;
  }
  if (app.cue.length == 0 && !idleLoop(app)) {
    app.exitHandlers.runAll();
    return outputLost(app) ? -1 : 0;
  }
  app.cue.current = 0;
  while (app.cue.current < app.cue.length && !app.status->closedByUser() && !interrupted(app) &&
         !outputLost(app))
    playSong(app);
  // Nothing more reaches a line that has gone; the run reports the failure in its exit code.
  if (outputLost(app)) {
    app.exitHandlers.runAll();
    return -1;
  }
  wait(app, 1500);
  sendGmSystemOn(app.port);
  app.exitHandlers.runAll();
  return 0;
}

}  // namespace tessaro
