#include "app/conversion.h"

#include "render/conversion.h"

namespace tessaro {

int runOfflineConversion(App& app, const std::function<void()>& secondPasses) {
  secondPasses();
  const ConversionRequest& asked = app.conversion;
  if (!asked.directBytes.empty()) app.log.print("\n");  // ends the line of their echo
  const ListOrder& order = app.cue.order;
  if (order.loop) {
    app.log.problem("--loop", "a conversion plays the list once: --loop is for playing (no -o)");
    return render::usageError;
  }
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
  task.jobs = asked.jobs;
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
  return render::runConversion(task, app.sys.audio, *app.sys.clock, app.log,
                               app.sys.environment->terminalColumns() > 0);
}

}  // namespace tessaro
