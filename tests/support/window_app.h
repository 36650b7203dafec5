// A program on fake services with a fake window system, for the status window's part of the
// program: start-up, clicks, drops, wheel and whole runs in virtual time.
#pragma once

#include <string>

#include "app/status_link.h"
#include "support/app_rig.h"

namespace tessaro::testing {

struct WindowApp : AppRig {
  WindowApp() : AppRig(true) {}
  App& app = program();

  // Start-up of the window alone: pictures, controls, window.
  void open() {
    std::string failed;
    app.status->buildPictures(failed);
    app.status->open();
  }
  FakeWindowPort& port() { return windows.window; }
  WindowView& link() { return static_cast<WindowView&>(*app.status); }
};

}  // namespace tessaro::testing
