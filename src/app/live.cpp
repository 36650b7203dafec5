#include "app/live.h"

#include <algorithm>

#include "app/keys.h"
#include "control/song_facts.h"
#include "control/status_line.h"
#include "live/live_session.h"

namespace tessaro {

namespace {

constexpr int32_t pumpIntervalMs = 25;
constexpr int statusTurns = 10;  // the status line is drawn every tenth turn

// The songs of the settings file wait for a run that plays songs.
void ignoreListedSongs(App& app) {
  if (app.cue.length == 0 && app.cue.backlog.empty()) return;
  app.log.print("The songs the settings file lists are not played in live mode.\n");
  clearCue(app.cue);
  app.cue.backlog.clear();
}

void drawStatusLine(App& app, const LiveSession& session) {
  int columns = app.sys.environment->terminalColumns();
  if (!app.statusLine || app.options.DispLevel != 0 || columns <= 0) return;
  LiveStatusValues values;
  values.convention = conventionText(app.stage.translator.shown, app.options.target);
  values.passed = session.counts().passed.load(std::memory_order_relaxed);
  values.dropped = session.counts().dropped();
  values.volume = app.options.volumeAdd;
  values.action = app.lastAction;
  app.log.showStatus(liveStatusLineText(values, columns));
}

// The main thread while the live thread runs: the window, the keys and the status line. A stop
// request from outside (Ctrl+C), an output that has gone or a closed window end the session.
void liveLoop(App& app, const LiveSession& session) {
  bool stopAsked = false;
  for (int turn = 1;; ++turn) {
    bool ended = app.thread->hasEnded();
    if (!ended) app.sys.clock->sleepMs(pumpIntervalMs);
    if (!stopAsked && (interrupted(app) || outputLost(app) || app.status->closedByUser())) {
      stopAsked = true;
      app.commands.stopSong();
    }
    app.status->update();
    int key = takeTurnKey(app);
    if (key != 0) applyLiveKey(app.commands, key);
    if (key != 0 || turn % statusTurns == 0) drawStatusLine(app, session);
    if (ended) break;
  }
  app.log.clearStatus();
}

// What the end of the session says: what was dropped, and why the input ended.
void sayTheEnd(App& app, const LiveSession& session, LiveEnd end,
               const platform::MidiInput& input) {
  std::string drops = dropSummary(session.counts());
  if (!drops.empty()) app.log.problem(session.name(), drops);
  if (end == LiveEnd::inputEnded)
    app.log.print("Live input %s ended: %s.\n", session.name().c_str(), input.endReason().c_str());
}

// The command line names the input itself (-i, --input), not only the settings file.
bool inputOnCommandLine(const CommandLine& line) {
  return std::any_of(line.items.begin(), line.items.end(), [](const CommandLine::Item& item) {
    return item.token != nullptr &&
           (item.word.starts_with("-i") || item.word.starts_with("--input"));
  });
}

}  // namespace

bool acceptLiveCall(App& app, const CommandLine& line, int& exitCode) {
  if (app.live.input.empty()) return true;
  auto song = std::find_if(line.items.begin(), line.items.end(),
                           [](const CommandLine::Item& item) { return item.token == nullptr; });
  // Songs named on the command line win over an input the settings file names.
  if (song != line.items.end() && !inputOnCommandLine(line)) {
    app.log.print("The input the settings file names is not read: songs are played.\n");
    app.live.input.clear();
    return true;
  }
  exitCode = 2;
  if (song != line.items.end()) {
    app.log.problem(song->word, "songs are not played with -i (live translation)");
    return false;
  }
  if (app.conversion.wanted) {
    app.log.problem("-o", "does not go with -i (live translation)");
    return false;
  }
  if (!app.live.badFrom.empty()) {
    app.log.problem("--from",
                    "\"" + app.live.badFrom + "\" names no convention (gs, sc88, xg, gm)");
    return false;
  }
  exitCode = 0;
  return true;
}

bool playLive(App& app) {
  ignoreListedSongs(app);
  const std::string& name = app.live.input;
  platform::MidiInputOpen opened;
  if (app.sys.midiIn != nullptr) {
    opened = app.sys.midiIn->open(name);
  } else {
    opened.reason = "no MIDI input can be read on this system";
  }
  if (!opened.input) {
    app.log.problem(name, opened.reason);
    return false;
  }
  if (!app.sys.priorities->setMainPriority(app.savedPriority))
    app.log.print("Failed Recovering Priority.\n");
  app.log.print("Live translation from %s; Esc ends it.\n", name.c_str());
  app.lastAction.clear();
  app.status->showAllAfresh();

  LiveSession session(
      {*app.sys.clock, app.log, app.port, app.options, app.stage, app.time, app.requests, app},
      *opened.input, name, app.live.from);
  LiveEnd end = LiveEnd::stopped;
  // The live thread owns the stage, the port and the play clock until it has ended.
  app.thread = app.sys.threads->createSuspended([&session, &end] { end = session.run(); });
  app.thread->setTimeCritical();
  app.thread->resume();
  liveLoop(app, session);
  app.thread.reset();
  applyRequests(app.engine);
  sayTheEnd(app, session, end, *opened.input);
  return true;
}

}  // namespace tessaro
