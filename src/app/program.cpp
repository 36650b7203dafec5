// Start-up, idle loop, song loop and the end of the run.
#include "app/program.h"

#include <algorithm>

#include "app/conversion.h"
#include "app/keys.h"
#include "app/live.h"
#include "app/options.h"
#include "app/status_link.h"
#include "control/status_line.h"

namespace tessaro {

namespace {

constexpr size_t tooManyWords = 512;
constexpr int consoleFlushLimit = 4096;

constexpr int32_t pumpIntervalMs = 25;
constexpr int32_t statusTurns = 10;  // the status line is drawn every tenth turn of 25 ms
constexpr int usageError = 2;

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
      [&app](const std::string& name) { return app.sys.environment->nativeFileName(name); },
      app.sys.environment->homeDirectory()};
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

// Says why the port did not open. That another program holds the device is said only where
// it may be so.
void reportPortFailure(App& app) {
  int32_t com = app.options.comPort;
  if (com < 0 || com > 99)
    app.log.problem("COM" + std::to_string(com), "no such port (COM1 to COM99)");
  if (app.port.openBusy == platform::Busy::no) return;
  if (app.sys.environment->japaneseUser()) {
    app.log.print("\nMIDI は他のアプリケーションが使用中です.\n");
    app.log.print("\n演奏リストへ追加する場合は、直接リスト上へドラッグ＆ドロップしてください.\n");
  } else {
    app.log.print("MIDI Device is Already Used by another application.\n");
  }
}

// Start-up up to the opened port. False when the run ends here with exitCode.
bool startUp(App& app, const std::vector<std::string>& words, const CommandLine& line,
             int& exitCode) {
  clearCue(app.cue);
  app.view = CueView{};
  app.ConsoleDetached = false;
  // Held until the first pass has said where the console goes (placeConsole).
  app.log.hold();
  app.log.print("Tessaro - MIDI file player with real-time GS/XG/GM translation\n");

  if (!app.sys.priorities->getMainPriority(app.savedPriority))
    app.log.print("Failed Getting Priority.\n");
  if (!app.sys.priorities->setMainPriorityLowest()) app.log.print("Failed Setting Priority.\n");

  if (words.size() >= tooManyWords) app.log.print("Too many command line parameters.\n");

  settingsPass(app, app.facts.settingsPath, 1);
  applyCommandLine(app.commands, line, Stage::first);
  placeConsole(app);
  if (!acceptLiveCall(app, line, exitCode)) return false;
  // A conversion (-o) plays nothing in real time: none of the waits below, no port, no window.
  if (app.conversion.wanted) {
    exitCode = runOfflineConversion(app, [&] {
      settingsPass(app, app.facts.settingsPath, 2);
      applyCommandLine(app.commands, line, Stage::second);
    });
    return false;
  }
  sleepMs(app, 2000);
  app.OldWindows = app.sys.environment->oldSystem();

  app.log.print("Initializing MIDI System ... \n");
  app.sys.midiOut->configureSynth(app.synth);
  if (openMidiPort(app.port, app.options.comPort, platform::MidiOutputs::mapper,
                   app.options.DispLevel >= 1) != 0) {
    reportPortFailure(app);
    sleepMs(app, 1000);
    exitCode = 1;
    return false;
  }
  // The default target chosen above; the conversion options tell the port again if they change it.
  setPortConvention(app.port, moduleConventionOf(app.options.target));
  sleepMs(app, 100);
  app.stage.translator.shown = SongConvention::none;
  std::string failedPicture;
  if (!app.status->buildPictures(failedPicture)) {
    app.log.print("No corresponding function <%s>\n", failedPicture.c_str());
    exitCode = 1;
    return false;
  }
  app.log.print("OK.\n");
  if (!app.sys.priorities->raiseProcessPriority()) app.log.print("Failed Setting Priority.\n");
  sleepMs(app, 500);

  settingsPass(app, app.facts.settingsPath, 2);
  applyCommandLine(app.commands, line, Stage::second);
  if (!recordingSparesTheSongs(app)) {
    exitCode = usageError;
    return false;
  }
  openStatusWindow(app);
  return true;
}

}  // namespace

// The user asked from outside the program's keys to stop (Ctrl+C, a request to terminate).
bool interrupted(App& app) {
  return app.sys.console->interrupted();
}

// An output that failed (a serial line gone, a recording that can no longer be written) is gone
// for the rest of the run: said once, in plain words.
bool outputLost(App& app) {
  if (!outputLost(app.port)) return false;
  if (!app.outputLostReported && app.port.portSelector == 0) {
    app.log.error("tessaro: " + outputLostReason(app.port));  // a recording that failed
  } else if (!app.outputLostReported) {
    app.log.print("\n");  // ends the line of the send that failed
    app.log.problem("COM" + std::to_string(app.port.portSelector),
                    "takes no more data (" + outputLostReason(app.port) + "): playback stops");
  }
  app.outputLostReported = true;
  return true;
}

// Takes this turn's key: a window key replaces a console key taken in the same turn.
int takeTurnKey(App& app) {
  int key = 0;
  if (pollConsoleKey(app) != 0) key = takeConsoleKey(app);
  if (app.status->peekKey() != 0) key = app.status->takeKey();
  return key;
}

namespace {

// Waits for a first file. False when the run is to end (exit code 0).
bool idleLoop(App& app) {
  while (app.cue.length == 0) {
    sleepMs(app, app.OldWindows ? 100 : 50);
    if (app.status->closedByUser() || interrupted(app) || outputLost(app)) return false;
    int key = takeTurnKey(app);
    if (key != 0 && applyIdleKey(app.commands, key) == IdleAction::quit) return false;
  }
  return true;
}

// The song's life on the player thread, which owns the player and the stage until it ends: its
// fixed waits carry out the requests that come meanwhile, and a song that ended by itself rings
// for 2 s before its stop.
class PlayerThreadHost : public SongHost {
 public:
  explicit PlayerThreadHost(App& app) : app_(app) {}
  void prepared(int code) override {
    if (code != 0 || app_.options.DispLevel >= 1)
      app_.log.print("Initailize Result Code = %d\n", code);
  }
  void wait(int32_t ms) override {
    Engine& engine = app_.engine;
    const uint32_t end = engine.clock.tickMs() + static_cast<uint32_t>(ms);
    for (int32_t left = ms; left > 0; left = static_cast<int32_t>(end - engine.clock.tickMs()))
      waitServing(engine, std::min<int32_t>(left, 210));
  }
  int32_t ringMs() const override { return 2000; }

 private:
  App& app_;
};

void startPlayerThread(App& app) {
  app.songOutcome = SongOutcome{};
  app.thread = app.sys.threads->createSuspended([&app] {
    PlayerThreadHost host(app);
    app.songOutcome = playLoadedSong(app.engine, host);
  });
  app.thread->setTimeCritical();
  app.thread->resume();
}

// The status line on a terminal, from what the player publishes and the song's own facts.
void drawStatusLine(App& app) {
  const PlayerState& state = app.engine.state;
  int columns = app.sys.environment->terminalColumns();
  if (!app.statusLine || app.options.DispLevel != 0 || columns <= 0 || state.threadStatus == 0)
    return;
  const SongFacts& facts = app.songFacts;
  StatusValues values;
  int32_t tick = state.nowTick;
  values.elapsedMs = tickToMs(facts, tick);
  values.totalMs = tickToMs(facts, facts.endTick);
  values.measure = state.measure;
  values.beat = state.beat;
  values.tempo = tempoAt(facts, tick);
  values.speedDivisor = state.speedDivisor;
  values.volume = app.options.volumeAdd;
  values.repeats = state.repeatCount;
  values.paused = state.paused;
  values.action = app.lastAction;
  app.log.showStatus(statusLineText(values, columns));
}

// The main thread while a song plays: the window, the keys and the status line. The song ends
// on the player thread; a stop request from outside (Ctrl+C), an output that has gone or a
// closed window ask it to stop at once (not after the ring of a song's last notes), and the run
// ends after it.
void playLoop(App& app) {
  int wheel = 0;
  bool stopAsked = false;
  for (int turn = 1;; ++turn) {
    // The turn after the song's end is taken at once: keys typed meanwhile are still read.
    bool ended = app.thread->hasEnded();
    if (!ended) sleepMs(app, app.OldWindows ? 100 : 25);
    if (!stopAsked && (interrupted(app) || outputLost(app) || app.status->closedByUser())) {
      stopAsked = true;
      app.commands.stopSong();
    }
    app.status->update();
    applyWheel(app, wheel);
    int key = takeTurnKey(app);
    if (key != 0) applyPlayKey(app.commands, key);
    if (key != 0 || turn % statusTurns == 0) drawStatusLine(app);
    if (ended) break;
  }
  app.log.clearStatus();
}

// The song's name without its directory, as the line before it shows it.
std::string shownName(App& app, const std::string& entry) {
  const platform::PathRules paths = app.sys.environment->pathRules();
  std::string name =
      entry.substr(directoryPart(entry, paths.separator, paths.skipLeadBytes).size());
  return name.empty() ? entry : name;
}

// Loads the entry with the line that names it before anything the load says; a failure is
// said in words after it.
void loadEntry(App& app, const std::string& entry) {
  Engine& engine = app.engine;
  app.log.hold();
  int loaded = loadForPlay(engine, entry);
  std::string said = app.log.endHold();
  bool songThere = engine.song.trackCount != 0;
  app.songFacts = songThere ? readSongFacts(engine.song) : SongFacts{};
  const FileCue& cue = app.cue;
  int position = cue.droppedCount + cue.current + 1;
  int total = cue.droppedCount + cue.length + static_cast<int>(cue.backlog.size());
  std::string name = shownName(app, entry);
  app.log.write(
      songHeader(position, total, name, songThere ? &app.songFacts : nullptr, app.options.target) +
      said);
  std::string past = startPastEnd(app.songFacts, app.options.skipToMeasure, app.options.skipToBeat);
  if (songThere && !past.empty()) app.log.problem(name, past);
  if (loaded == loadOk) return;
  app.songFailed = true;
  std::string why = loadFailure(loaded, engine.song, app.sys.files->examine(entry));
  app.log.problem(name, why);
}

void playSong(App& app) {
  dropPlayedEntries(app.cue, app.view);
  app.lastAction.clear();
  app.status->releaseControls();
  app.status->update();

  const std::string& entry = app.cue.entries[static_cast<size_t>(app.cue.current)];
  loadEntry(app, entry);
  findFileName(*app.sys.files, entry, app.CurrentSongName);

  if (!app.sys.priorities->setMainPriority(app.savedPriority))
    app.log.print("Failed Recovering Priority.\n");
  wait(app, 200);
  app.status->showAllAfresh();

  startPlayerThread(app);
  playLoop(app);
  // The player thread has ended: it is joined, and the player is the main thread's again, with
  // any request that came after the thread's last look.
  app.thread.reset();
  resumeOutput(app.port);
  applyRequests(app.engine);
  const SongOutcome& outcome = app.songOutcome;
  if (outcome.prepared != 0 || playerFailed(outcome.player)) app.songFailed = true;
  advanceCue(app.cue, app.view, outcome.prepared == 0);
}

}  // namespace

App::App(const platform::Services& services, Log& log)
    : Session(*services.clock, *services.serial, *services.midiOut, log, *this),
      sys(services),
      status(makeStatusView(*this)) {
  inputs = services.midiIn;
}

App::~App() {
  thread.reset();
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

// The exit status of a run that got past the start-up: a stop request from outside first,
// then a failed output or song.
int runStatus(App& app) {
  if (interrupted(app) && app.sys.console->stopSignal() > 0)
    return 128 + app.sys.console->stopSignal();
  if (interrupted(app)) return 0;
  return outputLost(app) || app.songFailed ? 1 : 0;
}

// What the help, the version and the settings file name, and what words name a file.
WordFacts knowTheSystem(App& app, const std::vector<std::string>& words) {
  platform::Environment& environment = *app.sys.environment;
  const platform::PathRules paths = environment.pathRules();
  std::string word0 = words.empty() ? std::string() : words[0];
  app.ProgramDir =
      directoryPart(environment.programPath(word0), paths.separator, paths.skipLeadBytes);
  app.facts.version = TESSARO_VERSION;
  app.facts.settingsPath = environment.settingsPath(app.ProgramDir);
  app.facts.variables = environment.variablesHelp();
  platform::FileSystem& files = *app.sys.files;
  return {[&files](const std::string& word) {
            return files.examine(word).kind != platform::PathFacts::Kind::missing;
          },
          environment.homeDirectory(), paths.separator};
}

int runProgram(App& app, const std::vector<std::string>& words) {
  CommandLine line = parseCommandLine(words, knowTheSystem(app, words));
  if (!line.error.empty()) {
    app.log.error(line.error);
    app.exitHandlers.runAll();
    return usageError;
  }
  if (applyCommandLine(app.commands, line, Stage::requests)) {
    app.exitHandlers.runAll();
    return 0;
  }
  if (!settleCommandLine(
          app.commands, line, *app.sys.files, [&app] { return interrupted(app); }, app.log)) {
    app.exitHandlers.runAll();
    return interrupted(app) ? runStatus(app) : usageError;
  }
  int exitCode = 0;
  if (!startUp(app, words, line, exitCode)) {
    app.exitHandlers.runAll();
    return exitCode;
  }
  // A line gone before any song (its direct bytes failed) can play nothing: said once.
  if (outputLost(app)) {
    app.exitHandlers.runAll();
    return runStatus(app);
  }
  // A live session (-i) translates its input instead of playing songs, then the run ends as
  // after the last song.
  const bool live = !app.live.input.empty();
  if (live && !playLive(app)) {
    app.exitHandlers.runAll();
    return 1;
  }
  // Without a window nothing can bring a file later: an empty list is a mistake of the call.
  if (!live && app.cue.length == 0 && !app.status->exists()) {
    app.log.error("tessaro: nothing to play (tessaro -h shows how to name MIDI files)");
    app.exitHandlers.runAll();
    return usageError;
  }
  if (!live && app.cue.length == 0 && !idleLoop(app)) {
    app.exitHandlers.runAll();
    return runStatus(app);
  }
  app.cue.current = 0;
  if (!live) beginList(app.cue, app.view, app.log);
  while (!live && app.cue.current < app.cue.length && !app.status->closedByUser() &&
         !interrupted(app) && !outputLost(app) && !app.quitRequested)
    playSong(app);
  // Nothing more reaches a line that has gone; the run reports the failure in its exit code.
  if (outputLost(app)) {
    app.exitHandlers.runAll();
    return runStatus(app);
  }
  wait(app, 1500);
  sendGmSystemOn(app.port);
  app.exitHandlers.runAll();
  return runStatus(app);
}

}  // namespace tessaro
