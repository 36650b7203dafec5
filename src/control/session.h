// Session: everything one run of songs consists of, owned once: the options, the output port,
// the translation stage, the player and the play list. The program owns one; a test or an
// offline conversion builds as many as it likes, since none of it is process-wide.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/conventions.h"
#include "common/exit_handlers.h"
#include "common/log.h"
#include "common/playback_options.h"
#include "control/file_cue.h"
#include "midiout/midi_port.h"
#include "platform/platform.h"
#include "player/engine.h"
#include "stage/requests.h"
#include "stage/timeline.h"
#include "stage/translation_stage.h"

namespace tessaro {

// An offline conversion (-o): where it writes and on how many threads. While one is asked for,
// the songs and the direct bytes of the options are gathered here instead of being queued and
// sent.
struct ConversionRequest {
  bool wanted = false;
  std::string path;        // empty when -o came without a name
  int32_t jobs = 0;        // 0: one per core; below 0: not a number
  std::string type;        // the output's type when its name has none, or for standard output (-T)
  bool noClobber = false;  // songs whose output exists are skipped (-n)
  std::vector<std::string> songs;
  std::vector<uint8_t> directBytes;
};

// A live session (-i): the input to read, the convention it is declared in (--from), and a
// --from value that names none, which the run reports as a mistake of the call.
struct LiveRequest {
  std::string input;  // empty: no live session
  SourceConvention from = SourceConvention::detected;
  std::string badFrom;
};

// What the help and version requests name: the program's version, where its settings file is
// read from, and the variables that choose this system's outputs.
struct ProgramFacts {
  std::string version;
  std::string settingsPath;
  std::vector<std::string> variables;
};

struct Session {
  // choices: the user's choices to start from (an offline conversion takes the run's).
  Session(platform::Clock& clock, platform::SerialPorts& serial, platform::MidiOutputs& midi,
          Log& log, PlayerObserver& observer, const PlaybackOptions& choices = {})
      : log(log),
        options(choices),
        port(clock, serial, midi, log, exitHandlers),
        time(clock),
        stage(port, options, time),
        engine({clock, log, port, options, observer, stage, time, requests}) {}
  // A player thread still running is joined; then the resources still held (the port, a
  // settings file, the window) are released, the last acquired first.
  ~Session() {
    thread.reset();
    exitHandlers.runAll();
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // A request of the command layer to the owner of the player and the stage. While no thread
  // owns them (no song plays), the caller's thread does and carries the request out at once.
  void request(Request r) {
    requests.push(r);
    if (!ownerRunning()) applyRequests(engine);
  }
  bool ownerRunning() const { return thread && !thread->hasEnded(); }

  Log& log;
  ExitHandlers exitHandlers;
  PlaybackOptions options;
  MidiPort port;
  PlayClock time;
  RequestQueue requests;
  TranslationStage stage;
  Engine engine;
  // The thread that owns the player and the stage while a song plays, until it is joined.
  std::unique_ptr<platform::PlayerThread> thread;
  FileCue cue;
  CueView view;
  ConversionRequest conversion;
  LiveRequest live;
  // The MIDI inputs a live session reads, as the system has them (-l lists them); none: none.
  platform::MidiInputs* inputs = nullptr;
  // The built-in synthesizer's SoundFont, rate and gain, as the user chose them.
  platform::SynthSettings synth;
  ProgramFacts facts;
  // The status line on a terminal; off after /0.
  bool statusLine = true;
  // Nothing but errors and warnings on the console (-q).
  bool quiet = false;
  // What the last key or control did, in a few words, for the status line (main thread).
  std::string lastAction;
  // The user asked the run to end after the song's stop (main thread).
  bool quitRequested = false;
};

}  // namespace tessaro
