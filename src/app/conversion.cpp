#include "app/conversion.h"

#include <filesystem>

#include "render/conversion.h"

namespace tessaro {

namespace {

constexpr int usageError = 2;

render::ConversionTask taskOf(App& app) {
  const ConversionRequest& asked = app.conversion;
  const ListOrder& order = app.cue.order;
  render::ConversionTask task;
  task.songs = asked.songs;
  // The songs go into the files (one after another in a joined one) in the shuffled order.
  if (order.shuffle) {
    std::mt19937 random;
    uint32_t seed = seedShuffle(order, random);
    shuffleNames(task.songs, random);
    app.log.print("Shuffled (seed %u)\n", static_cast<unsigned>(seed));
  }
  task.output = asked.path;
  task.type = asked.type;
  task.jobs = asked.jobs;
  task.noClobber = asked.noClobber;
  task.quiet = app.quiet;
  render::SongSettings& settings = task.settings;
  settings.target = app.options.target;
  settings.volumeAdd = app.options.volumeAdd;
  settings.skipToMeasure = app.options.skipToMeasure;
  settings.skipToBeat = app.options.skipToBeat;
  settings.reportLevel = app.options.DispLevel;
  settings.fadeInterval = app.options.fadeInterval;
  settings.fadeStep = app.options.fadeStep;
  settings.repeatCount = app.engine.state.repeatCount;
  settings.repeatSetByUser = app.engine.state.repeatSetByUser != 0;
  settings.directBytes = asked.directBytes;
  return task;
}

bool toStandardOutput(const App& app) {
  return app.conversion.wanted && app.conversion.path == platform::standardOutputName;
}

}  // namespace

int runOfflineConversion(App& app, const std::function<void()>& secondPasses) {
  secondPasses();
  if (!app.conversion.directBytes.empty()) app.log.print("\n");  // ends the line of their echo
  if (app.cue.order.loop) {
    app.log.problem("--loop", "a conversion plays the list once: --loop is for playing (no -o)");
    return usageError;
  }
  render::ConversionTask task = taskOf(app);
  // A file written to a terminal would be bytes on the screen.
  if (toStandardOutput(app) && app.sys.environment->terminalColumns() > 0) {
    app.log.problem("-o -", "standard output is a terminal: send it into a pipe or a file");
    return usageError;
  }
  if (app.sys.outputs == nullptr) {
    app.log.problem(task.output, "no files can be written on this system");
    return render::someFailed;
  }
  if (app.sys.audio != nullptr) app.sys.audio->configure(app.synth);
  render::ConversionContext context{*app.sys.outputs, app.sys.audio, *app.sys.clock, app.log};
  context.interrupted = [&app] { return app.sys.console->interrupted(); };
  context.progressColumns = [&app] { return app.sys.environment->errorColumns(); };
  int status = render::runConversion(task, context);
  if (status != render::stopped) return status;
  int signal = app.sys.console->stopSignal();
  return signal > 0 ? 128 + signal : render::stopped;
}

void placeConsole(App& app) {
  std::string held = app.log.endHold();
  if (toStandardOutput(app)) app.log.outputOnErrors();
  app.log.write(held);
}

bool recordingSparesTheSongs(App& app) {
  const std::string recording = app.sys.midiOut->recordingPath();
  if (recording.empty()) return true;
  std::vector<std::string> songs(app.cue.entries.begin(),
                                 app.cue.entries.begin() + std::max(app.cue.length, 0));
  songs.insert(songs.end(), app.cue.backlog.begin(), app.cue.backlog.end());
  for (const std::string& song : songs) {
    std::error_code error;
    if (!std::filesystem::equivalent(song, recording, error)) continue;
    app.log.problem(recording, "is one of the songs (" + song +
                                   "): the recording (TESSARO_WAV) would be written over it");
    app.sys.midiOut->discardRecording();
    return false;
  }
  return true;
}

}  // namespace tessaro
