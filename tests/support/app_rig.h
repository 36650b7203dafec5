// A whole program (App) on fake services: the clock, threads, console and serial ports of the
// caller's choosing, a capture message device, the system's file search, a fake environment and,
// when asked for, a fake window system with block glyphs. The one set-up of every test that runs
// the program in-process.
#pragma once

#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "app/program.h"
#include "support/fake_glyphs.h"
#include "support/fake_window.h"
#include "support/player_stack.h"
#include "support/smf.h"
#include "support/system_platform.h"
#include "support/virtual_platform.h"
#include "support/wire.h"

namespace tessaro::testing {

template <class ClockType = VirtualClock, class ThreadsType = SyncThreads,
          class ConsoleType = ScriptedConsole, class SerialType = CaptureSerialPorts>
struct AppRigOf {
  ClockType clock;
  ThreadsType threads = madeWith<ThreadsType>(clock);
  FakePriorities priorities;
  ConsoleType console;
  SerialType serial = madeWith<SerialType>(clock);
  CaptureMidiOutputs midi{clock};
  ScriptedMidiInputs inputs{clock};
  SystemFileSystem files;
  SystemOutputFiles outputs;
  FakeEnvironment environment;
  FakeWindowSystem windows;
  BlockGlyphs glyphs;
  Log log;
  bool withWindow;
  std::optional<App> made;

  explicit AppRigOf(bool window = false) : withWindow(window) { log.startCapture(); }

  platform::Services services() {
    platform::Services s{&clock,  &threads, &priorities, &console,
                         &serial, &midi,    &files,      &environment};
    s.outputs = &outputs;
    s.midiIn = &inputs;
    if (withWindow) {
      s.windows = &windows;
      s.glyphs = &glyphs;
    }
    return s;
  }
  // The program, made on first use.
  App& program() {
    if (!made) made.emplace(services(), log);
    return *made;
  }
  // A whole run with the words after the program's path.
  int run(std::vector<std::string> words) {
    words.insert(words.begin(), "/opt/tessaro/tessaro");
    return runProgram(program(), words);
  }
  std::string out() const { return log.captured(); }
  // Only what went to the error stream.
  std::string errors() const { return log.capturedErrors(); }
};

using AppRig = AppRigOf<>;

// Note-on keys in the order they reached the line.
inline std::vector<int> notesPlayed(const CaptureSerialPorts& serial) {
  std::vector<int> keys;
  for (const auto& w : serial.writes) {
    if (w.bytes.size() == 3 && (w.bytes[0] & 0xF0) == 0x90 && w.bytes[2] > 0)
      keys.push_back(w.bytes[1]);
  }
  return keys;
}

}  // namespace tessaro::testing
