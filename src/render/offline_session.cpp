#include "render/offline_session.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "control/song_facts.h"
#include "player/song_life.h"

namespace tessaro::render {

// The session's serial line: every write goes to the output of the part under way.
class OfflineSession::RecordingLine : public platform::SerialLine {
 public:
  explicit RecordingLine(OfflineSession& owner) : owner_(owner) {}
  int write(const uint8_t* bytes, size_t count) override {
    owner_.written(bytes, count);
    return 0;
  }

 private:
  OfflineSession& owner_;
};

namespace {

// The user's choices that every song of the conversion starts from.
PlaybackOptions choicesOf(const SongSettings& settings) {
  PlaybackOptions options;
  options.DispLevel = settings.reportLevel;
  options.target = settings.target;
  options.volumeAdd = settings.volumeAdd;
  options.skipToMeasure = settings.skipToMeasure;
  options.skipToBeat = settings.skipToBeat;
  options.fadeInterval = settings.fadeInterval;
  options.fadeStep = settings.fadeStep;
  return options;
}

}  // namespace

// The session's song life: the fixed waits pass on the virtual clock, the part's output starts
// with the song's first event and ends with its stop, which follows at once.
class OfflineSession::Host : public SongHost {
 public:
  explicit Host(OfflineSession& owner) : owner_(owner) {}
  void wait(int32_t ms) override { owner_.clock_.sleepMs(ms); }
  void playing() override {
    owner_.songStart_ = owner_.clock_.now;
    owner_.cut_ = false;
  }
  int32_t ringMs() const override { return 0; }
  void stopped() override {
    owner_.output_->endPart();
    owner_.output_ = nullptr;
  }

 private:
  OfflineSession& owner_;
};

OfflineSession::OfflineSession(const SongSettings& settings, SongProgress* progress,
                               const std::atomic<bool>* stop)
    : settings_(settings),
      progress_(progress),
      stop_(stop),
      session_(clock_, *this, *this, log_, *this, choicesOf(settings)) {
  log_.startCapture();
  if (settings.repeatSetByUser) session_.request({RequestKind::setRepeats, settings.repeatCount});
  openMidiPort(session_.port, 1, platform::MidiOutputs::mapper);
  session_.stage.translator.shown = SongConvention::none;
}

OfflineSession::~OfflineSession() = default;

platform::SerialOpenResult OfflineSession::open(int /*port*/) {
  platform::SerialOpenResult result;
  result.line = std::make_unique<RecordingLine>(*this);
  return result;
}

platform::MidiOpenResult OfflineSession::open(uint32_t /*deviceId*/) {
  platform::MidiOpenResult result;
  result.error = platform::midiError;
  result.reason = "an offline session writes to its serial line only";
  return result;
}

void OfflineSession::SongClock::slept(int32_t /*ms*/) {
  owner_.endSongIfStopped();
  PlayerState& state = owner_.session_.engine.state;
  if (owner_.output_ == nullptr || now - owner_.songStart_ <= longestSongMs) return;
  if (state.playRequest != 0) owner_.cut_ = true;
  state.playRequest = 0;
}

// A stop request ends the song as the end of its music would.
void OfflineSession::endSongIfStopped() {
  if (stop_ != nullptr && stop_->load(std::memory_order_relaxed))
    session_.engine.state.playRequest = 0;
}

void OfflineSession::written(const uint8_t* bytes, size_t count) {
  if (output_ != nullptr) output_->wire(clock_.now, bytes, count);
  if ((++writes_ & 255) == 0) {
    publishProgress();
    endSongIfStopped();
  }
}

void OfflineSession::textEvent(int type, const uint8_t* text, int32_t length) {
  if (output_ != nullptr) output_->text(clock_.now, type, text, static_cast<size_t>(length));
}

// Read on this thread, which plays the song; published for the thread that shows it.
void OfflineSession::publishProgress() {
  if (progress_ == nullptr || songBytes_ <= 0) return;
  const Engine& engine = session_.engine;
  int64_t played = 0;
  for (int32_t t = 0; t < engine.song.trackCount; ++t)
    played += engine.state.cursors[static_cast<size_t>(t)].position;
  progress_->permille.store(
      static_cast<uint32_t>(std::min<int64_t>(played * 1000 / songBytes_, 999)),
      std::memory_order_relaxed);
  progress_->musicMs.store(clock_.now - songStart_, std::memory_order_relaxed);
}

void OfflineSession::sendDirectBytes(Output& output) {
  if (settings_.directBytes.empty()) return;
  output_ = &output;
  for (uint8_t byte : settings_.directBytes) sendDirectByte(session_.port, byte);
  output.endPart();
  output_ = nullptr;
}

bool OfflineSession::load(const std::string& path, std::string& reason) {
  Engine& engine = session_.engine;
  log_.clearCaptured();
  warnings_.clear();
  int result = loadForPlay(engine, path);
  clock_.sleepMs(200);
  if (engine.song.trackCount != 0) {
    std::string past =
        startPastEnd(readSongFacts(engine.song), settings_.skipToMeasure, settings_.skipToBeat);
    if (!past.empty()) warnings_.push_back(past);
    return true;
  }
  reason = loadFailure(path, result, engine.song);
  engine.state.repeatSetByUser = 0;
  return false;
}

uint32_t OfflineSession::perform(Output& output) {
  Engine& engine = session_.engine;
  songBytes_ = 0;
  for (int32_t t = 0; t < engine.song.trackCount; ++t)
    songBytes_ += engine.song.tracks[static_cast<size_t>(t)].length;
  output_ = &output;
  // The song's whole life on this thread, in virtual time.
  Host host(*this);
  playLoadedSong(engine, host);
  if (progress_ != nullptr) progress_->permille.store(1000, std::memory_order_relaxed);
  return output.partLength();
}

std::string loadFailure(const std::string& path, int loadResult, const SongData& song) {
  using Kind = platform::PathFacts::Kind;
  std::error_code error;
  platform::PathFacts facts{Kind::file, ""};
  if (std::filesystem::is_directory(path, error))
    facts = {Kind::directory, "is a directory"};
  else if (!std::filesystem::exists(path, error))
    facts = {Kind::missing, "no such file"};
  std::string why = tessaro::loadFailure(loadResult, song, facts);
  return why.empty() ? "holds no track to play" : why;
}

}  // namespace tessaro::render
