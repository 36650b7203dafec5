#include "backends/synth/synth_device.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <utility>
#include <vector>

#include "backends/alsa/quiet_errors.h"
#include "backends/synth/fluid_support.h"
#include "backends/synth/wav_file.h"
#include "backends/synth/wav_renderer.h"
#include "stream/midi_stream.h"

namespace tessaro::platform::synth {

namespace {

// The ways to a sound file without an audio device.
constexpr char noSoundHint[] =
    "render to a file instead: tessaro -o NAME.wav SONG.mid (faster than real time), or "
    "TESSARO_WAV=NAME.wav tessaro SONG.mid (as it plays)";

struct DriverDeleter {
  void operator()(fluid_audio_driver_t* driver) const { delete_fluid_audio_driver(driver); }
};
using AudioDriver = std::unique_ptr<fluid_audio_driver_t, DriverDeleter>;

// FluidSynth's error messages, collected while the synthesizer is being opened so that a
// failure can say why in one line; its warnings are not shown at all (a player reports what
// the user can act on). FluidSynth's log handlers are process-wide: errors go back to its own
// handler once the open is over.
class FluidLogCapture {
 public:
  FluidLogCapture() {
    fluid_set_log_function(FLUID_PANIC, collect, this);
    fluid_set_log_function(FLUID_ERR, collect, this);
    for (int level : {FLUID_WARN, FLUID_INFO, FLUID_DBG})
      fluid_set_log_function(level, nullptr, nullptr);
  }
  ~FluidLogCapture() {
    fluid_set_log_function(FLUID_PANIC, fluid_default_log_function, nullptr);
    fluid_set_log_function(FLUID_ERR, fluid_default_log_function, nullptr);
  }
  FluidLogCapture(const FluidLogCapture&) = delete;
  FluidLogCapture& operator=(const FluidLogCapture&) = delete;

  // The first error since the last call, or fallback when there was none.
  std::string take(const char* fallback) {
    std::lock_guard lock(mutex_);
    std::string first = first_.empty() ? fallback : first_;
    first_.clear();
    return first;
  }

 private:
  static void collect(int /*level*/, const char* message, void* data) {
    auto* self = static_cast<FluidLogCapture*>(data);
    std::lock_guard lock(self->mutex_);
    if (self->first_.empty() && message != nullptr) self->first_ = message;
  }

  std::mutex mutex_;  // an audio driver may report from its own thread
  std::string first_;
};

// Plays each message at once; FluidSynth's audio driver renders on its own thread, and
// FluidSynth's calls are safe to make from another.
class LiveSink : public MidiSink {
 public:
  explicit LiveSink(fluid_synth_t* synth) : synth_(synth) {}
  void message(std::span<const uint8_t> bytes) override { playMessage(synth_, bytes); }

 private:
  fluid_synth_t* synth_;
};

// The reset that makes FluidSynth read bank selects the convention's way.
std::span<const uint8_t> resetFor(ModuleConvention convention) {
  static constexpr uint8_t gmSystemOn[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
  static constexpr uint8_t gsReset[] = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40,
                                        0x00, 0x7F, 0x00, 0x41, 0xF7};
  static constexpr uint8_t xgSystemOn[] = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
  switch (convention) {
    case ModuleConvention::gm:
      return gmSystemOn;
    case ModuleConvention::gs:
      return gsReset;
    default:
      return xgSystemOn;
  }
}

// The decoded messages go to whichever sink runs: the audio driver's or the renderer's.
class SynthDevice : public MidiOutDevice, private MidiSink {
 public:
  SynthDevice(Settings settings, Synth synth, int soundFontId, int rate)
      : settings_(std::move(settings)),
        synth_(std::move(synth)),
        soundFontId_(soundFontId),
        rate_(rate) {}

  // Plays to FluidSynth's audio driver; false when no audio device could be opened.
  bool startPlaying() {
    alsa::QuietAlsaErrors quiet;
    driver_.reset(new_fluid_audio_driver(settings_.get(), synth_.get()));
    if (!driver_) return false;
    live_ = std::make_unique<LiveSink>(synth_.get());
    sink_ = live_.get();
    return true;
  }

  // Renders into the recording's file instead (its temporary file when it has one, else its
  // name); false when the file cannot be created.
  bool startRecording(SynthOptions& options) {
    recordingName_ = options.wavPath;
    recording_ = std::move(options.wavFile);
    discarded_ = options.discardRecording;
    const std::string& path = recording_ ? recording_->path() : options.wavPath;
    if (!wav_.open(path, rate_, 2)) return false;
    renderer_ = std::make_unique<WavRenderer>(synth_.get(), wav_, rate_);
    sink_ = renderer_.get();
    return true;
  }

  const std::string& wavError() const { return wav_.error(); }
  int64_t wavOrigin() const { return renderer_ ? renderer_->origin() : -1; }

  // The sound stops first (audio driver or render thread), then the recording is completed,
  // then the synthesizer goes.
  ~SynthDevice() override {
    // A device let go without finish() (not through the port) says itself what went wrong.
    const bool told = finished_;
    finish();
    if (!told && !fault_.empty()) std::fprintf(stderr, "tessaro: %s\n", fault_.c_str());
    synth_.reset();
    settings_.reset();
  }
  SynthDevice(const SynthDevice&) = delete;
  SynthDevice& operator=(const SynthDevice&) = delete;

  // A recording is kept when it is whole and something sounded in it: a run that played
  // nothing leaves whatever was at the name as it was.
  void finish() override {
    if (finished_) return;
    finished_ = true;
    driver_.reset();
    std::string failed = renderer_ ? renderer_->failure() : std::string();
    {
      std::lock_guard lock(mutex_);
      sink_ = nullptr;
    }
    renderer_.reset();
    if (wav_.isOpen() && !wav_.close() && failed.empty()) failed = wav_.error();
    if (!failed.empty()) fault_ = recordingName_ + ": " + failed;
    if (!recording_ || !failed.empty() || (discarded_ && discarded_->load())) {
      recording_.reset();
      return;
    }
    std::string problem;
    if (!played_) {
      std::fprintf(stderr, "tessaro: %s: nothing was played, so nothing was recorded\n",
                   recordingName_.c_str());
    } else if (!recording_->commit(problem)) {
      fault_ = recordingName_ + ": cannot write: " + problem;
    }
    recording_.reset();
  }

  std::string fault() const override {
    if (!fault_.empty()) return fault_;
    std::string failed = renderer_ ? renderer_->failure() : std::string();
    return failed.empty() ? failed : recordingName_ + ": " + failed;
  }

  uint32_t shortMessage(uint32_t word) override {
    std::lock_guard lock(mutex_);
    decoder_.shortMessage(word);
    return midiOk;
  }
  uint32_t prepareLong(const uint8_t* data, size_t length) override {
    return data == nullptr || length == 0 ? midiErrorInvalidParam : midiOk;
  }
  // The block is decoded before this returns: nothing of the caller's buffer is kept.
  uint32_t sendLong(const uint8_t* data, size_t length) override {
    if (data == nullptr || length == 0) return midiErrorInvalidParam;
    std::lock_guard lock(mutex_);
    decoder_.bytes({data, length});
    return midiOk;
  }
  uint32_t unprepareLong(const uint8_t* /*data*/, size_t /*length*/) override { return midiOk; }
  uintptr_t handleValue() const override { return static_cast<uintptr_t>(soundFontId_); }

  // FluidSynth chooses how to read bank selects when it is created (the program's default,
  // XG) and from the resets it receives; a different convention is set with its reset, in
  // line with the messages around it. No song plays while the convention is chosen. The reset
  // goes past the decoder: the running status the port counts on stays as it was.
  void setConvention(ModuleConvention convention) override {
    std::lock_guard lock(mutex_);
    if (convention == convention_) return;
    convention_ = convention;
    message(resetFor(convention));
  }

 private:
  void message(std::span<const uint8_t> bytes) override {
    if (bytes.size() >= 3 && (bytes[0] & 0xF0) == 0x90 && bytes[2] != 0) played_ = true;
    if (sink_ != nullptr) sink_->message(bytes);
  }

  Settings settings_;
  Synth synth_;
  int soundFontId_;
  int rate_;
  WavFile wav_;
  AudioDriver driver_;
  std::unique_ptr<LiveSink> live_;
  std::unique_ptr<WavRenderer> renderer_;
  MidiSink* sink_ = nullptr;  // guarded by mutex_ once senders run
  // The recording: its name as the user gave it, its temporary file, the app's word that it
  // is not to be kept, and what went wrong with it (main thread).
  std::string recordingName_;
  std::unique_ptr<PendingFile> recording_;
  std::shared_ptr<const std::atomic<bool>> discarded_;
  std::string fault_;
  bool finished_ = false;

  std::mutex mutex_;  // one sender at a time through the decoder
  MidiStreamDecoder decoder_{*this};
  ModuleConvention convention_ = ModuleConvention::xg;
  bool played_ = false;  // a note sounded; guarded by mutex_
};

}  // namespace

MidiOpenResult openSynthesizer(SynthOptions options) {
  SoundFontChoice soundFont =
      findSoundFont(options.soundFont, options.soundFontDir, options.soundFontSource);
  if (soundFont.path.empty()) return MidiOpenResult::failed("no SoundFont: " + soundFont.reason);

  FluidLogCapture log;
  const SynthSettings chosen{options.soundFont, options.sampleRate, options.gain};
  // The program's default target; see SynthDevice::setConvention.
  Settings settings = makeSettings(ModuleConvention::xg, chosen);
  Synth synth(settings ? new_fluid_synth(settings.get()) : nullptr);
  if (!synth) {
    return MidiOpenResult::failed("cannot start the synthesizer: " +
                                  log.take("FluidSynth failed to start"));
  }
  int id = fluid_synth_sfload(synth.get(), soundFont.path.c_str(), 1);
  if (id == FLUID_FAILED) {
    return MidiOpenResult::failed("no SoundFont: cannot load " + soundFont.path + " (" +
                                  log.take("not a SoundFont file") + ")");
  }
  auto device =
      std::make_unique<SynthDevice>(std::move(settings), std::move(synth), id, rateOf(chosen));
  if (!options.wavPath.empty()) {
    if (!device->startRecording(options)) {
      return MidiOpenResult::failed("cannot render to WAV (TESSARO_WAV): " + options.wavPath +
                                    ": " + device->wavError());
    }
  } else if (!device->startPlaying()) {
    std::string why = log.take("FluidSynth could not open one");
    MidiOpenResult failed = MidiOpenResult::failed("no audio device: " + why + "; " + noSoundHint);
    // The audio system's own words are the only sign that another program holds the device.
    if (why.find("busy") != std::string::npos) failed.busy = Busy::yes;
    return failed;
  }
  MidiOpenResult result;
  result.device = std::move(device);
  return result;
}

int64_t wavTimeOrigin(const MidiOutDevice& device) {
  const auto* synth = dynamic_cast<const SynthDevice*>(&device);
  return synth != nullptr ? synth->wavOrigin() : -1;
}

}  // namespace tessaro::platform::synth
