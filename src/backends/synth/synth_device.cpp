#include "backends/synth/synth_device.h"

#include <fluidsynth.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
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
#include "stream/midi_stream.h"

namespace tessaro::platform::synth {

namespace {

constexpr int64_t nsPerSecond = 1000000000;

int64_t monotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * nsPerSecond + now.tv_nsec;
}

void sleepUntilNs(int64_t deadline) {
  timespec at{static_cast<time_t>(deadline / nsPerSecond),
              static_cast<long>(deadline % nsPerSecond)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
  }
}

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

// Renders the synthesizer into a WAV file as real time passes. Each message is stamped with
// the monotonic time of its arrival and applied at the sample of that moment, so the file holds
// what a listener would have heard, whenever the render thread gets to run. Only the render
// thread calls the synthesizer while it runs; the senders only add to the queue.
class WavRenderer : public MidiSink {
 public:
  WavRenderer(fluid_synth_t* synth, WavFile& file) : synth_(synth), file_(file) {
    buffer_.resize(static_cast<size_t>(renderPeriodFrames) * 2);
    origin_ = monotonicNs();
    thread_ = std::thread([this] { run(); });
  }
  // Renders up to this moment, then stops; the file is left to its owner to close.
  ~WavRenderer() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    thread_.join();
  }
  WavRenderer(const WavRenderer&) = delete;
  WavRenderer& operator=(const WavRenderer&) = delete;

  void message(std::span<const uint8_t> bytes) override {
    std::lock_guard lock(mutex_);
    // Stamped under the lock: the render thread, having taken the queue at a moment, can
    // never receive a message stamped earlier than that moment.
    pending_.entries.push_back({monotonicNs(), pending_.bytes.size(), bytes.size()});
    pending_.bytes.insert(pending_.bytes.end(), bytes.begin(), bytes.end());
  }

  int64_t origin() const { return origin_; }

 private:
  struct Entry {
    int64_t ns;
    size_t offset;
    size_t length;
  };
  struct Queue {
    std::vector<Entry> entries;
    std::vector<uint8_t> bytes;
    void clear() {
      entries.clear();
      bytes.clear();
    }
  };

  int64_t frameAt(int64_t ns) const { return (ns - origin_) * sampleRate / nsPerSecond; }

  void renderUntil(int64_t frame) {
    while (rendered_ < frame) {
      int count = static_cast<int>(std::min<int64_t>(frame - rendered_, renderPeriodFrames));
      fluid_synth_write_s16(synth_, count, buffer_.data(), 0, 2, buffer_.data(), 1, 2);
      file_.append(buffer_.data(), static_cast<size_t>(count));
      rendered_ += count;
    }
  }

  void run() {
    int64_t turn = 0;
    int64_t headerUpdatedAt = 0;
    for (bool last = false; !last;) {
      ++turn;
      sleepUntilNs(origin_ + turn * renderPeriodFrames * nsPerSecond / sampleRate);
      int64_t now;
      {
        std::lock_guard lock(mutex_);
        now = monotonicNs();
        std::swap(pending_, taken_);
        last = stopping_;
      }
      for (const Entry& entry : taken_.entries) {
        renderUntil(frameAt(entry.ns));
        playMessage(synth_, {taken_.bytes.data() + entry.offset, entry.length});
      }
      taken_.clear();
      renderUntil(frameAt(now));
      // Once a second the header states the length so far, for a run that is cut short.
      if (rendered_ - headerUpdatedAt >= sampleRate) {
        file_.updateHeader();
        headerUpdatedAt = rendered_;
      }
    }
  }

  fluid_synth_t* synth_;
  WavFile& file_;
  std::vector<int16_t> buffer_;
  int64_t origin_ = 0;    // monotonic time of the file's first sample
  int64_t rendered_ = 0;  // frames in the file; render thread only
  Queue taken_;           // render thread only

  std::mutex mutex_;
  Queue pending_;
  bool stopping_ = false;
  std::thread thread_;
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
  SynthDevice(Settings settings, Synth synth, int soundFontId)
      : settings_(std::move(settings)), synth_(std::move(synth)), soundFontId_(soundFontId) {}

  // Plays to FluidSynth's audio driver; false when no audio device could be opened.
  bool startPlaying() {
    alsa::QuietAlsaErrors quiet;
    driver_.reset(new_fluid_audio_driver(settings_.get(), synth_.get()));
    if (!driver_) return false;
    live_ = std::make_unique<LiveSink>(synth_.get());
    sink_ = live_.get();
    return true;
  }

  // Renders into the WAV file instead; false when the file cannot be created.
  bool startRendering(const std::string& path) {
    if (!wav_.open(path, sampleRate, 2)) return false;
    renderer_ = std::make_unique<WavRenderer>(synth_.get(), wav_);
    sink_ = renderer_.get();
    return true;
  }

  const std::string& wavError() const { return wav_.error(); }
  int64_t wavOrigin() const { return renderer_ ? renderer_->origin() : -1; }

  // The sound stops first (audio driver or render thread), then the file is completed, then
  // the synthesizer goes.
  ~SynthDevice() override {
    driver_.reset();
    renderer_.reset();
    if (wav_.isOpen() && !wav_.close())
      std::fprintf(stderr, "TESSARO_WAV: %s\n", wav_.error().c_str());
    synth_.reset();
    settings_.reset();
  }
  SynthDevice(const SynthDevice&) = delete;
  SynthDevice& operator=(const SynthDevice&) = delete;

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
    if (sink_ != nullptr) sink_->message(bytes);
  }

  Settings settings_;
  Synth synth_;
  int soundFontId_;
  WavFile wav_;
  AudioDriver driver_;
  std::unique_ptr<LiveSink> live_;
  std::unique_ptr<WavRenderer> renderer_;
  MidiSink* sink_ = nullptr;

  std::mutex mutex_;  // one sender at a time through the decoder
  MidiStreamDecoder decoder_{*this};
  ModuleConvention convention_ = ModuleConvention::xg;
};

}  // namespace

MidiOpenResult openSynthesizer(const SynthOptions& options) {
  SoundFontChoice soundFont = findSoundFont(options.soundFont, options.soundFontDir);
  if (soundFont.path.empty()) return MidiOpenResult::failed(soundFont.reason);

  FluidLogCapture log;
  // The program's default target; see SynthDevice::setConvention.
  Settings settings = makeSettings(ModuleConvention::xg);
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
  auto device = std::make_unique<SynthDevice>(std::move(settings), std::move(synth), id);
  if (!options.wavPath.empty()) {
    if (!device->startRendering(options.wavPath)) {
      return MidiOpenResult::failed("cannot render to WAV (TESSARO_WAV): " + device->wavError());
    }
  } else if (!device->startPlaying()) {
    std::string why = log.take("FluidSynth could not open one");
    MidiOpenResult failed = MidiOpenResult::failed("no audio device: " + why +
                                                   "; set TESSARO_WAV=out.wav to render to a file");
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
