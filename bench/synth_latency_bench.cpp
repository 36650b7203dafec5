// Latency benchmark of the built-in synthesizer rendering to WAV: the whole program runs in
// this process (real clock, real player thread) on a song of isolated notes; every note-on is
// timestamped as it leaves the player for the device, and its first audible sample is found in
// the rendered file. Reports the delay from one to the other (median, max) against the budget
// of one render period plus 1 ms.
//
// Usage: synth_latency_bench [--notes N] [--keep FILE.wav]
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/program.h"
#include "backends/posix/posix_platform.h"
#include "backends/synth/synth_device.h"
#include "stream/midi_stream.h"
#include "support/smf.h"
#include "support/wav_reader.h"

namespace {

namespace platform = tessaro::platform;
namespace synth = tessaro::platform::synth;
using tessaro::testing::Bytes;

int64_t monotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// What the run leaves for the measurement: the WAV file's time origin and the note-on times.
struct Timings {
  int64_t origin = -1;
  std::vector<int64_t> noteOns;
};

// Stands between the port and the synthesizer: notes the moment each note-on passes, as the
// device itself would decode it, then hands the word or block on.
class TimingDevice : public platform::MidiOutDevice, private platform::MidiSink {
 public:
  TimingDevice(std::unique_ptr<platform::MidiOutDevice> inner, Timings& timings)
      : inner_(std::move(inner)), timings_(timings) {
    timings_.origin = synth::wavTimeOrigin(*inner_);
  }

  uint32_t shortMessage(uint32_t word) override {
    stamp_ = monotonicNs();
    decoder_.shortMessage(word);
    return inner_->shortMessage(word);
  }
  uint32_t prepareLong(const uint8_t* data, size_t length) override {
    return inner_->prepareLong(data, length);
  }
  uint32_t sendLong(const uint8_t* data, size_t length) override {
    stamp_ = monotonicNs();
    decoder_.bytes({data, length});
    return inner_->sendLong(data, length);
  }
  uint32_t unprepareLong(const uint8_t* data, size_t length) override {
    return inner_->unprepareLong(data, length);
  }
  uintptr_t handleValue() const override { return inner_->handleValue(); }
  void setConvention(platform::ModuleConvention convention) override {
    inner_->setConvention(convention);
  }

 private:
  void message(std::span<const uint8_t> bytes) override {
    if (bytes.size() == 3 && (bytes[0] & 0xF0) == 0x90 && bytes[2] > 0)
      timings_.noteOns.push_back(stamp_);
  }

  std::unique_ptr<platform::MidiOutDevice> inner_;
  Timings& timings_;
  platform::MidiStreamDecoder decoder_{*this};
  int64_t stamp_ = 0;
};

class TimingOutputs : public platform::MidiOutputs {
 public:
  explicit TimingOutputs(std::string wavPath) : wavPath_(std::move(wavPath)) {}
  platform::MidiOpenResult open(uint32_t) override {
    synth::SynthOptions options;
    options.wavPath = wavPath_;
    platform::MidiOpenResult result = synth::openSynthesizer(std::move(options));
    if (!result.device) return result;
    result.device = std::make_unique<TimingDevice>(std::move(result.device), timings);
    return result;
  }
  Timings timings;

 private:
  std::string wavPath_;
};

// Short notes on changing keys and velocities, each followed by silence long enough for the
// note to die away; reverb and chorus off so that nothing of one note is left at the next. The
// square lead (program 81) sounds at full strength from its first sample, so the delay found is
// the system's and not a recorded instrument's own slow start (a sampled piano's can add
// several milliseconds).
Bytes isolatedNotes(int count) {
  using tessaro::testing::Track;
  Track t;
  t.tempo(0, 500000).ev(0, {0xC0, 80}).ev(0, {0xB0, 91, 0}).ev(0, {0xB0, 93, 0});
  for (int i = 0; i < count; ++i) {
    const uint8_t key = static_cast<uint8_t>(48 + (i * 7) % 36);
    const uint8_t velocity = static_cast<uint8_t>(70 + (i * 13) % 57);
    // 100 ms of note, then 600 ms of silence (480 ticks a quarter note, 500 ms).
    t.ev(i == 0 ? 480 : 576, {0x90, key, velocity}).ev(96, {0x80, key, 0x00});
  }
  t.end(480);
  return tessaro::testing::smf(0, 480, {t});
}

}  // namespace

int main(int argc, char** argv) {
  int notes = 30;
  std::string keep;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--notes") == 0 && i + 1 < argc) {
      notes = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--keep") == 0 && i + 1 < argc) {
      keep = argv[++i];
    } else {
      std::fprintf(stderr, "usage: %s [--notes N] [--keep FILE.wav]\n", argv[0]);
      return 2;
    }
  }
  tessaro::testing::TempFile song(isolatedNotes(notes));
  const std::string wavPath = keep.empty() ? song.dir() + "/render.wav" : keep;

  TimingOutputs outputs(wavPath);
  {
    tessaro::platform::posix::PosixPlatform posix;
    platform::Services services = posix.services();
    services.midiOut = &outputs;
    tessaro::Log log(stdout);
    tessaro::App app(services, log);
    std::printf("playing %d notes through the built-in synthesizer into %s ...\n", notes,
                wavPath.c_str());
    if (tessaro::runProgram(app, {"tessaro", "/nc", song.path()}) != 0) {
      std::fprintf(stderr, "the run failed\n");
      return 1;
    }
  }
  const std::vector<int64_t>& sent = outputs.timings.noteOns;
  const int64_t origin = outputs.timings.origin;
  const tessaro::testing::WavSound wav = tessaro::testing::readWav(wavPath);
  if (keep.empty()) std::remove(wavPath.c_str());
  if (!wav.problem.empty() || origin < 0 || sent.empty()) {
    std::fprintf(stderr, "no rendering to measure: %s\n", wav.problem.c_str());
    return 1;
  }

  // The first sample above the dither, searched from a little before each note-on.
  const int audible = 100;
  std::vector<double> delaysMs;
  for (int64_t at : sent) {
    const double sentSeconds = double(at - origin) / 1e9;
    const size_t onset = wav.firstAbove(audible, wav.frameAt(sentSeconds - 0.005));
    if (onset >= wav.frames()) continue;
    delaysMs.push_back((double(onset) / wav.rate - sentSeconds) * 1000.0);
  }
  if (delaysMs.empty()) {
    std::fprintf(stderr, "no note was heard\n");
    return 1;
  }
  std::sort(delaysMs.begin(), delaysMs.end());
  const double median = delaysMs[delaysMs.size() / 2];
  const double worst = delaysMs.back();
  const double budget = 1000.0 * synth::renderPeriodFrames / synth::sampleRate + 1.0;
  std::printf("note-ons measured: %zu of %zu\n", delaysMs.size(), sent.size());
  std::printf(
      "delay from the player to the first audible sample: min %.2f ms, median %.2f ms, "
      "max %.2f ms\n",
      delaysMs.front(), median, worst);
  std::printf("budget (one render period of %d frames + 1 ms): %.2f ms -> %s\n",
              synth::renderPeriodFrames, budget, worst <= budget ? "within" : "EXCEEDED");
  return worst <= budget ? 0 : 3;
}
