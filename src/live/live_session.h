// The live session: MIDI read from an input (a serial line, a sequencer port, a MIDI input
// device), translated by the translation stage as any song is, and written to the output as
// soon as it is read. It is a source of events like the file player: it owns nothing of the
// stage but feeds it, on a thread of its own that owns the stage, the output port and the play
// clock while it runs (the live thread, as the player thread owns them during a song).
//
// The live thread waits on the input and on the request queue at once (a request wakes the
// input's read), so keys act at once and nothing is polled. Only the stage's pauses (a module
// taking a reset) hold later messages back; what arrives meanwhile waits in the input, in order.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/conventions.h"
#include "common/log.h"
#include "common/playback_options.h"
#include "midiout/midi_port.h"
#include "platform/platform.h"
#include "stage/requests.h"
#include "stage/source_observer.h"
#include "stage/timeline.h"
#include "stage/translation_stage.h"
#include "stream/midi_stream.h"

namespace tessaro {

// What the live thread publishes while it runs, for the status line and the end of the run.
struct LiveCounts {
  std::atomic<uint64_t> passed{0};  // messages handed to the stage
  std::atomic<uint64_t> tooLong{0};
  std::atomic<uint64_t> cut{0};
  std::atomic<uint64_t> stray{0};

  uint64_t dropped() const { return tooLong.load() + cut.load() + stray.load(); }
};

// How a live session ended.
enum class LiveEnd {
  stopped,     // a stop request: Esc, Ctrl+C, the window closed
  inputEnded,  // the input's far end closed, its port or device went away
  outputLost,  // the output takes no more data
};

// What the session works with, owned by the session of the run.
struct LiveParts {
  platform::Clock& clock;
  Log& log;
  MidiPort& port;
  const PlaybackOptions& options;
  TranslationStage& stage;
  PlayClock& time;
  RequestQueue& requests;
  SourceObserver& observer;
};

class LiveSession : private platform::MidiSink {
 public:
  // The bound of one system exclusive from the input, 0xF0 to 0xF7.
  static constexpr size_t systemExclusiveLimit = 64 * 1024;

  // name: the input as the user named it, for what is said of it.
  LiveSession(const LiveParts& parts, platform::MidiInput& input, std::string name,
              SourceConvention from);
  ~LiveSession() override;
  LiveSession(const LiveSession&) = delete;
  LiveSession& operator=(const LiveSession&) = delete;

  // Runs the session on the calling thread until a stop request, the input's end or the loss
  // of the output; then every note that sounded is ended and GM System On follows.
  LiveEnd run();

  const LiveCounts& counts() const { return counts_; }
  const std::string& name() const { return name_; }

 private:
  void start();
  void serveRequests();
  void apply(const Request& request);
  bool holding();
  void waitForHold();
  void channelMessage(std::span<const uint8_t> bytes);

  // platform::MidiSink
  void message(std::span<const uint8_t> bytes) override;
  void dropped(platform::StreamDrop what) override;

  platform::Clock& clock_;
  Log& log_;
  MidiPort& port_;
  const PlaybackOptions& options_;
  TranslationStage& stage_;
  PlayClock& time_;
  RequestQueue& requests_;
  SourceObserver& observer_;
  platform::MidiInput& input_;
  std::string name_;
  SourceConvention from_;
  platform::MidiStreamDecoder decoder_{*this, systemExclusiveLimit};
  LiveCounts counts_;
  bool stopping_ = false;
  // The play clock's reading the next message waits for: a pause of the stage moves the clock
  // back, and the messages after it wait until it has come round again.
  int32_t mark_ = 0;
};

// The reset message a declared convention starts with (0xF0 to 0xF7): GS Reset, the SC-88
// mode set, XG System On or GM System On; none for a detected one.
std::vector<uint8_t> declaredReset(SourceConvention from);
// The convention a --from value names (gs, sc88, xg, gm, in either case); false for none.
bool sourceConventionNamed(const std::string& name, SourceConvention& from);
// The MIDI input ports a user can name (-l), marked as inputs, or why there are none.
void listInputs(Log& log, const platform::PortListing& listing);
// What the end of the run says of the messages dropped; empty when none were.
std::string dropSummary(const LiveCounts& counts);

}  // namespace tessaro
