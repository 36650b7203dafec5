// Engine: everything the song reader, the preparation and the player thread work on, owned
// once by the application (or a test) and passed by reference. It binds the shared records to
// the clock, the console output, the output port and the options, and tells its observer what
// the display and the console show of the playing.
#pragma once

#include <memory>

#include "common/log.h"
#include "midiout/midi_port.h"
#include "platform/platform.h"
#include "player/playback_options.h"
#include "player/player_state.h"
#include "player/song_data.h"
#include "translate/translate.h"

namespace tessaro {

// What the player tells whoever shows or steers it. Every call has a default that does
// nothing, so a player without a window or console simply plays.
class PlayerObserver {
 public:
  virtual ~PlayerObserver() = default;
  // A note of the song (on its own channel, before any translation) starts or ends sounding.
  // Called on the player thread.
  virtual void noteChanged(int /*channel*/, int /*note*/, bool /*sounding*/) {}
  // The calling thread waits: the main thread's chance to handle the window's events.
  virtual void waiting() {}
  // The key that answers the loader's question about a large track (Esc declines).
  virtual int largeTrackAnswer() { return 0; }
  // A text meta event of the song (types 1-15: text, copyright, title, lyric, marker, ...)
  // as stored, when the player reaches it. Called on the player thread.
  virtual void textEvent(int /*type*/, const uint8_t* /*text*/, int32_t /*length*/) {}
};

struct Engine {
  Engine(platform::Clock& clock, Log& log, MidiPort& port, const PlaybackOptions& options,
         PlayerObserver& observer)
      : clock(clock), log(log), port(port), options(options), observer(observer) {}

  platform::Clock& clock;
  Log& log;
  MidiPort& port;
  const PlaybackOptions& options;
  PlayerObserver& observer;

  SongData song;
  SongReader reader;
  PlayerState state;
  translate::Translator translator;
  // The thread playing the song, from its start until it has been stopped.
  std::unique_ptr<platform::PlayerThread> thread;
};

// Carries out what the translation asks for: its messages through the port, its pauses on the
// play clock, its notices to the display and the loudness.
class PlayerActions : public translate::Actions {
 public:
  explicit PlayerActions(Engine& engine) : engine_(engine) {}
  void sendShort(int status, int data1, int data2) override;
  void sendLong(int status, const uint8_t* data, int32_t length) override;
  void pause(int32_t shiftMs, int32_t sleepMs) override;
  void resetSent() override;
  void masterVolumeCut(int32_t cut) override;

 private:
  Engine& engine_;
};

// --- Song reader and track store -------------------------------------------------------------

// Result codes of loadSong.
enum LoadResult : int {
  loadOk = 0,
  loadCannotOpen = -1,
  loadNotSmf = -2,
  loadNoEndOfTrack = -3,
  loadTruncated = -4,
  loadBadDivision = -5,  // a division of 0, or an SMPTE division that cannot be timed
  loadNotAFile = -6,     // a directory, a FIFO, a device: SongData::fileKind says which
  loadTooLarge = -7,     // larger than MaxSongBytes (SongData::fileBytes)
  loadNoMemory = 90,
};

int loadSong(Engine& engine, const char* fileName);
// 0 after releasing the song; 1 when there was nothing to release.
int freeSong(Engine& engine);

int openSongReader(Engine& engine, const char* fileName);
int readSongByte(Engine& engine);
int32_t readSong16(Engine& engine);
int32_t readSong32(Engine& engine);
void closeSongReader(Engine& engine);

// --- Clock ---------------------------------------------------------------------------------

// Milliseconds since the clock's origin; shiftClock(n) holds the music back n milliseconds.
inline int32_t playClock(Engine& engine) {
  return static_cast<int32_t>(engine.clock.tickMs() - engine.state.timeOrigin.load());
}
inline void shiftClock(Engine& engine, int32_t ms) {
  engine.state.timeOrigin.fetch_add(static_cast<uint32_t>(ms));
}

// --- EventChain ----------------------------------------------------------------------------

void insertTrack(Engine& engine, int32_t track);
void popTrack(Engine& engine);
int32_t headTick(const Engine& engine);
void rebuildChain(Engine& engine);
int32_t chainLength(const Engine& engine);

// --- Preparation and positioning -----------------------------------------------------------

// 0 when a song is loaded and prepared; -1 when no song is loaded.
int preparePlayback(Engine& engine);
// Starts at measure m, beat b (both from 0) by fast-forwarding; m and b must not be negative.
int positionToMeasure(Engine& engine, int32_t measure, int32_t beat);

// --- Player thread -------------------------------------------------------------------------

// Return values of the player thread.
enum PlayerResult : int {
  playerChainError = 0,
  playerDone = 2,
  playerOverrun = 999,
  playerBadMeta = -5,
  playerBadSysEx = -9,
};

int playerThread(Engine& engine);

// Data bytes that follow a channel or system common status.
int dataBytesOf(int status);
// A channel message that the player sends of its own for the song (no note): translated, sent
// and kept for the chase as the song's own message would be.
void playSongMessage(Engine& engine, int status, int data1, int data2);
// At the start of a tick at which a repeat or loop point may be set: the song's state is kept.
void keepTickStart(Engine& engine);

// --- Fade-out, volume offset, repeats ------------------------------------------------------

void fadeTick(Engine& engine);
// The user's volume add value (PlaybackOptions::volumeAdd) as it now stands, with the fade and
// the master volume taken off, goes to every channel at the player's next pass.
void setUserVolume(Engine& engine);
void resetFadeVolume(Engine& engine);
// The song's master volume takes cut off every channel volume, replacing its previous cut.
void setMasterVolumeCut(Engine& engine, int32_t cut);
// The words of a text (type 1) or marker (type 6) event that steer repeats and loops.
enum class MarkerWord { none, repeat, mark, jump, loopStart, loopEnd };
MarkerWord markerWordOf(const char* text, int type);
// Text or marker event of track at tick; the text is in messageBuffer. True when it made a
// repeat jump.
bool handleMarker(Engine& engine, int32_t track, int32_t tick, int type);
// A repeat point (a loop start when loop) set at the event of track at tick; false when the
// point in force already stands at that tick.
bool setRepeatPoint(Engine& engine, int32_t track, int32_t tick, bool loop = false);
void repeatJump(Engine& engine, int32_t eventTick);
// The song's controllers, programs and pitch bends as they change, for a loop start's chase.
void keepChase(ChannelChase& channel, int status, int data1, int data2);

// --- Stop ----------------------------------------------------------------------------------

int silenceAll(Engine& engine);
// Ends the player thread, when one was started (waiting for it), silences every sounding note,
// sends GM System On.
int stopPlayback(Engine& engine);

}  // namespace tessaro
