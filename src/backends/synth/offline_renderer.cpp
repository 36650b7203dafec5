#include "backends/synth/offline_renderer.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

#include "backends/synth/fluid_support.h"
#include "backends/synth/synth_device.h"
#include "stream/midi_stream.h"

namespace tessaro::platform::synth {

namespace {

constexpr int blockFrames = 1024;

// FluidSynth's errors go to the thread that caused them, when it asks for them; the log
// functions themselves are set once, before any renderer runs.
thread_local std::string* threadErrors = nullptr;

void keepError(int /*level*/, const char* message, void* /*data*/) {
  if (threadErrors != nullptr && threadErrors->empty() && message != nullptr)
    *threadErrors = message;
}

// FluidSynth's first error while it lives on this thread.
class ErrorsOfThisThread {
 public:
  ErrorsOfThisThread() { threadErrors = &text_; }
  ~ErrorsOfThisThread() { threadErrors = nullptr; }
  ErrorsOfThisThread(const ErrorsOfThisThread&) = delete;
  ErrorsOfThisThread& operator=(const ErrorsOfThisThread&) = delete;
  std::string take(const char* fallback) const { return text_.empty() ? fallback : text_; }

 private:
  std::string text_;
};

// The libsndfile format of a file type; 0 for none.
int formatOf(const std::string& extension) {
  std::string type = extension;
  for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (type == ".wav") return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  if (type == ".flac") return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  if (type == ".ogg") return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
  return 0;
}

// libsndfile's words for what failed, without its "System error : " and final stop.
std::string sndfileError(SNDFILE* file) {
  std::string text = sf_strerror(file);
  constexpr std::string_view system = "System error : ";
  if (text.rfind(system, 0) == 0) text.erase(0, system.size());
  while (!text.empty() && (text.back() == '.' || text.back() == '\n')) text.pop_back();
  return text;
}

std::string extensionOf(const std::string& path) {
  size_t dot = path.find_last_of("./");
  return dot == std::string::npos || path[dot] != '.' ? std::string() : path.substr(dot);
}

// Each loop that renders asks for the stop flag once a block (23 ms of sound at the CD rate).
class FileRenderer : public AudioRenderer, private MidiSink {
 public:
  FileRenderer(Settings settings, Synth synth, SNDFILE* file, const std::atomic<bool>& stop,
               int rate)
      : settings_(std::move(settings)),
        synth_(std::move(synth)),
        file_(file),
        stop_(stop),
        quietFrames_(rate * quietMs / 1000),
        buffer_(static_cast<size_t>(blockFrames) * 2) {}
  ~FileRenderer() override {
    if (file_ != nullptr) sf_close(file_);
  }
  FileRenderer(const FileRenderer&) = delete;
  FileRenderer& operator=(const FileRenderer&) = delete;

  void play(uint64_t frame, const uint8_t* bytes, size_t count) override {
    renderUntil(frame);
    decoder_.bytes({bytes, count});
  }

  void ringOut(uint64_t frame, uint64_t maxFrames) override {
    renderUntil(frame);
    const uint64_t limit = rendered_ + maxFrames;
    int quiet = 0;
    while (rendered_ < limit && quiet < quietFrames_ && !stopped()) {
      int count = static_cast<int>(std::min<uint64_t>(limit - rendered_, blockFrames));
      render(count);
      for (int f = 0; f < count; ++f) {
        bool loud = std::abs(buffer_[static_cast<size_t>(f) * 2]) > quietLevel ||
                    std::abs(buffer_[static_cast<size_t>(f) * 2 + 1]) > quietLevel;
        quiet = loud ? 0 : quiet + 1;
      }
    }
  }

  uint64_t frames() const override { return rendered_; }

  bool finish(std::string& problem) override {
    if (file_ != nullptr && sf_close(file_) != 0 && problem_.empty())
      problem_ = "cannot complete the file";
    file_ = nullptr;
    problem = problem_;
    return problem_.empty();
  }

 private:
  void message(std::span<const uint8_t> bytes) override { playMessage(synth_.get(), bytes); }

  void render(int count) {
    fluid_synth_write_s16(synth_.get(), count, buffer_.data(), 0, 2, buffer_.data(), 1, 2);
    rendered_ += static_cast<uint64_t>(count);
    if (!problem_.empty() || file_ == nullptr) return;
    if (sf_writef_short(file_, buffer_.data(), count) != count)
      problem_ = "cannot write: " + sndfileError(file_);
  }

  void renderUntil(uint64_t frame) {
    while (rendered_ < frame && !stopped())
      render(static_cast<int>(std::min<uint64_t>(frame - rendered_, blockFrames)));
  }

  bool stopped() const { return stop_.load(std::memory_order_relaxed); }

  Settings settings_;
  Synth synth_;
  SNDFILE* file_;
  const std::atomic<bool>& stop_;
  int quietFrames_;
  std::vector<int16_t> buffer_;
  MidiStreamDecoder decoder_{*this};
  uint64_t rendered_ = 0;
  std::string problem_;  // the first write that failed
};

AudioRendererOpen failure(std::string reason) {
  AudioRendererOpen result;
  result.reason = std::move(reason);
  return result;
}

}  // namespace

OfflineRenderers::OfflineRenderers(std::string userSoundFont, std::string soundFontDir)
    : userSoundFont_(std::move(userSoundFont)), soundFontDir_(std::move(soundFontDir)) {}

int OfflineRenderers::sampleRate() const {
  return rateOf(settings_);
}

void OfflineRenderers::configure(const SynthSettings& settings) {
  settings_ = settings;
}

bool OfflineRenderers::writes(const std::string& extension) const {
  SF_INFO info{};
  info.samplerate = sampleRate();
  info.channels = 2;
  info.format = formatOf(extension);
  return info.format != 0 && sf_format_check(&info) != 0;
}

bool OfflineRenderers::prepare(std::string& reason) {
  // The user's option wins over the variable.
  const bool chosen = !settings_.soundFont.empty();
  SoundFontChoice choice =
      findSoundFont(chosen ? settings_.soundFont : userSoundFont_, soundFontDir_,
                    chosen ? "--soundfont" : "TESSARO_SOUNDFONT");
  if (choice.path.empty()) {
    reason = choice.reason;
    return false;
  }
  fluid_set_log_function(FLUID_PANIC, keepError, nullptr);
  fluid_set_log_function(FLUID_ERR, keepError, nullptr);
  for (int level : {FLUID_WARN, FLUID_INFO, FLUID_DBG})
    fluid_set_log_function(level, nullptr, nullptr);
  // The first synthesizer fills FluidSynth's shared tables; it is made here, on one thread.
  ErrorsOfThisThread errors;
  Settings settings = makeSettings(ModuleConvention::gs, settings_);
  Synth synth(settings ? new_fluid_synth(settings.get()) : nullptr);
  if (!synth) {
    reason = "FluidSynth: cannot start the synthesizer: " + errors.take("it failed to start");
    return false;
  }
  if (fluid_synth_sfload(synth.get(), choice.path.c_str(), 1) == FLUID_FAILED) {
    reason =
        choice.path + ": cannot load the SoundFont (" + errors.take("not a SoundFont file") + ")";
    return false;
  }
  soundFont_ = choice.path;
  return true;
}

AudioRendererOpen OfflineRenderers::open(const std::string& path, ModuleConvention convention,
                                         const std::atomic<bool>& stop) {
  if (soundFont_.empty()) return failure("the synthesizer was not prepared");
  ErrorsOfThisThread errors;
  Settings settings = makeSettings(convention, settings_);
  // One thread calls this synthesizer: FluidSynth's own locking is not needed.
  if (settings) fluid_settings_setint(settings.get(), "synth.threadsafe-api", 0);
  Synth synth(settings ? new_fluid_synth(settings.get()) : nullptr);
  if (!synth) return failure("cannot start the synthesizer: " + errors.take("FluidSynth failed"));
  if (fluid_synth_sfload(synth.get(), soundFont_.c_str(), 1) == FLUID_FAILED)
    return failure("cannot load " + soundFont_ + " (" + errors.take("not a SoundFont") + ")");
  SF_INFO info{};
  info.samplerate = sampleRate();
  info.channels = 2;
  info.format = formatOf(extensionOf(path));
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) return failure("cannot write: " + sndfileError(nullptr));
  AudioRendererOpen result;
  result.renderer = std::make_unique<FileRenderer>(std::move(settings), std::move(synth), file,
                                                   stop, sampleRate());
  return result;
}

}  // namespace tessaro::platform::synth
