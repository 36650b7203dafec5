// An App with every service faked and a fake window system, for the status window's part of
// the program: start-up, clicks, drops, wheel and whole runs in virtual time.
#pragma once

#include <string>
#include <vector>

#include "app/program.h"
#include "app/status_link.h"
#include "support/fake_glyphs.h"
#include "support/fake_window.h"
#include "support/player_rig.h"
#include "support/system_platform.h"

namespace tessaro::testing {

struct WindowApp {
  VirtualClock clock;
  SyncThreads threads;
  FakePriorities priorities;
  ScriptedConsole console;
  CaptureSerialPorts serial{clock};
  CaptureMidiOutputs midi{clock};
  SystemFileSystem files;
  FakeEnvironment environment;
  FakeWindowSystem windows;
  BlockGlyphs glyphs;
  Log log;
  platform::Services services{&clock, &threads, &priorities,  &console, &serial,
                              &midi,  &files,   &environment, &windows, &glyphs};
  App app{services, log};

  WindowApp() { log.startCapture(); }

  // Start-up of the window alone: pictures, controls, window.
  void open() {
    buildStatusPictures(app);
    openStatusWindow(app);
  }
  int run(std::vector<std::string> words) {
    words.insert(words.begin(), "/opt/tessaro/tessaro");
    return runProgram(app, words);
  }
  FakeWindowPort& port() { return windows.window; }
  StatusLink& link() { return *app.status; }
  std::string out() const { return log.captured(); }
};

}  // namespace tessaro::testing
