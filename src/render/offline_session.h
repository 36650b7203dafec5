// A session that plays songs in virtual time into an Output: the same player, translation and
// output port as a live session, its port a serial line that records every write. Each song
// goes as the play list plays it (load, prepare, start position, volume, the player, the stop),
// and every fixed wait of the live run is kept on the virtual clock, where it costs nothing, but
// the one before the stop: the output holds the stop sequence right after the song. Keys do not
// act and there is no window.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "common/conventions.h"
#include "common/log.h"
#include "control/session.h"
#include "platform/platform.h"
#include "platform/virtual_clock.h"
#include "player/engine.h"
#include "render/output.h"

namespace tessaro::render {

// What the options set for every song.
struct SongSettings {
  Target target = Target::xg;
  int32_t volumeAdd = 0;
  int32_t skipToMeasure = 0;  // from 1; 0 the start
  int32_t skipToBeat = 0;     // from 1; 0 beat 1
  int32_t fadeInterval = 210;
  int32_t fadeStep = 3;
  int32_t repeatCount = 0;
  bool repeatSetByUser = false;
  int reportLevel = 0;
  std::vector<uint8_t> directBytes;
};

// How far the song under way is, for another thread to show.
struct SongProgress {
  std::atomic<uint32_t> permille{0};  // of the song's bytes played
  std::atomic<uint32_t> musicMs{0};   // of music played
  std::atomic<bool> loading{false};   // the synthesizer loads its SoundFont for the song
};

// A song's music is cut after this long: a file whose waits never end (a tempo of hours a tick)
// is converted in bounded time.
inline constexpr uint32_t longestSongMs = 24 * 3600 * 1000;

class OfflineSession : private PlayerObserver,
                       private platform::SerialPorts,
                       private platform::MidiOutputs {
 public:
  // stop: once set (by another thread), the song under way ends at its next wait.
  explicit OfflineSession(const SongSettings& settings, SongProgress* progress = nullptr,
                          const std::atomic<bool>* stop = nullptr);
  ~OfflineSession() override;
  OfflineSession(const OfflineSession&) = delete;
  OfflineSession& operator=(const OfflineSession&) = delete;

  // Sends the direct bytes of the options, as a part of their own.
  void sendDirectBytes(Output& output);
  // Loads a song; false when the file holds nothing to play, with the reason in plain words.
  bool load(const std::string& path, std::string& reason);
  // Plays the loaded song into output as a part: the music, then the stop sequence. The
  // milliseconds from its first message to its last.
  uint32_t perform(Output& output);
  // What the loader and the player said since the last load.
  std::string messages() const { return log_.captured(); }
  // What the user is told of the song at every report level, since the last load.
  const std::vector<std::string>& warnings() const { return warnings_; }
  // The last song performed was cut at longestSongMs.
  bool cut() const { return cut_; }

 private:
  class RecordingLine;
  class Host;
  // The session's clock, which cuts a song once it has played longestSongMs.
  class SongClock : public platform::VirtualClock {
   public:
    explicit SongClock(OfflineSession& owner) : owner_(owner) {}

   protected:
    void slept(int32_t ms) override;

   private:
    OfflineSession& owner_;
  };

  void textEvent(int type, const uint8_t* text, int32_t length) override;
  platform::SerialOpenResult open(int port) override;
  platform::MidiOpenResult open(uint32_t deviceId) override;
  void written(const uint8_t* bytes, size_t count);
  void publishProgress();
  void endSongIfStopped();

  SongSettings settings_;
  SongProgress* progress_;
  const std::atomic<bool>* stop_;
  bool cut_ = false;
  SongClock clock_{*this};
  Log log_;
  Session session_;
  Output* output_ = nullptr;  // where the writes go while a part is under way
  uint32_t songStart_ = 0;    // clock time the player started at
  uint32_t writes_ = 0;
  int64_t songBytes_ = 0;
  std::vector<std::string> warnings_;
};

// Plain words for a song that holds nothing to play, from the loader's result and what the load
// left in the song.
std::string loadFailure(const std::string& path, int loadResult, const SongData& song);

}  // namespace tessaro::render
