#include "render/offline_session.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "control/song_facts.h"

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

OfflineSession::OfflineSession(const SongSettings& settings, SongProgress* progress)
    : settings_(settings), progress_(progress), session_(clock_, *this, *this, log_, *this) {
  log_.startCapture();
  PlaybackOptions& options = session_.options;
  options.DispLevel = settings.reportLevel;
  options.target = settings.target;
  options.volumeAdd = settings.volumeAdd;
  options.skipToMeasure = settings.skipToMeasure;
  options.skipToBeat = settings.skipToBeat;
  PlayerState& state = session_.engine.state;
  state.fadeInterval = settings.fadeInterval;
  state.fadeStep = settings.fadeStep;
  state.repeatCount = settings.repeatCount;
  state.repeatSetByUser = settings.repeatSetByUser ? 255 : 0;
  openMidiPort(session_.port, 1, platform::MidiOutputs::mapper);
  session_.engine.translator.shown = SongConvention::none;
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
  PlayerState& state = owner_.session_.engine.state;
  if (owner_.output_ == nullptr || now - owner_.songStart_ <= longestSongMs) return;
  if (state.playRequest != 0) owner_.log_.print("The song is cut after 24 hours of music.\n");
  state.playRequest = 0;
}

void OfflineSession::written(const uint8_t* bytes, size_t count) {
  if (output_ != nullptr) output_->wire(clock_.now, bytes, count);
  if ((++writes_ & 255) == 0) publishProgress();
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
  engine.state.fadeActive = 0;
  // A song that memory could not be had for is not played in part, as in a live session.
  int result = loadSong(engine, path.c_str());
  if (result == loadNoMemory && engine.song.trackCount != 0) freeSong(engine);
  clock_.sleepMs(200);
  if (preparePlayback(engine) == 0) return true;
  reason = loadFailure(path, result, engine.song);
  setUserVolume(engine);
  engine.state.repeatSetByUser = 0;
  return false;
}

uint32_t OfflineSession::perform(Output& output) {
  Engine& engine = session_.engine;
  const SongSettings& s = settings_;
  if (s.skipToMeasure >= 1 || s.skipToBeat >= 1)
    positionToMeasure(engine, std::max(s.skipToMeasure - 1, 0), std::max(s.skipToBeat - 1, 0));
  clock_.sleepMs(200);
  setUserVolume(engine);
  clock_.sleepMs(200);
  clock_.sleepMs(400);  // a live session's player thread waits this long to be resumed
  songBytes_ = 0;
  for (int32_t t = 0; t < engine.song.trackCount; ++t)
    songBytes_ += engine.song.tracks[static_cast<size_t>(t)].length;
  songStart_ = clock_.now;
  output_ = &output;
  // The player's body on this thread: the whole song passes in virtual time. A live session
  // lets the song ring for 2 s before the stop; here the stop follows at once.
  playerThread(engine);
  stopPlayback(engine);
  output.endPart();
  output_ = nullptr;
  freeSong(engine);
  setUserVolume(engine);
  engine.state.repeatSetByUser = 0;
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
