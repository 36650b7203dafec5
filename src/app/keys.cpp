#include "app/keys.h"

#include "app/program.h"

namespace tessaro {

IdleAction applyIdleKey(App&, int code) {
  if (code == KeyEscape) return IdleAction::quit;
  return IdleAction::none;
}

void applyPlayKey(App& app, int code) {
  if (code == KeyEscape) stopPlayback(app.engine, app.player.get());
}

}  // namespace tessaro
