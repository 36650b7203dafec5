// Engine: the file player. Everything the song reader, the preparation and the player thread
// work on, owned once by the session (or a test) and passed by reference. It keeps what belongs
// to a song (tempo, cursors, markers and repeats, fast-forward, the play clock) and feeds the
// song's events to the translation stage, which owns the translation, the loudness and the
// output; it takes the command layer's requests and tells its observer what the display and
// the console show of the playing.
#pragma once

#include <memory>

#include "common/log.h"
#include "common/playback_options.h"
#include "midiout/midi_port.h"
#include "platform/platform.h"
#include "player/player_state.h"
#include "player/song_data.h"
#include "stage/requests.h"
#include "stage/source_observer.h"
#include "stage/timeline.h"
#include "stage/translation_stage.h"

namespace tessaro {

// What the player tells whoever shows or steers it, besides what every source tells (the notes,
// its waits). Every call has a default that does nothing, so a player without a window or
// console simply plays.
class PlayerObserver : public SourceObserver {
 public:
  // The key that answers the loader's question about a large track (Esc declines).
  virtual int largeTrackAnswer() { return 0; }
  // A text meta event of the song (types 1-15: text, copyright, title, lyric, marker, ...)
  // as stored, when the player reaches it. Called on the player thread.
  virtual void textEvent(int /*type*/, const uint8_t* /*text*/, int32_t /*length*/) {}
};

// What the engine works with, owned by the session.
struct EngineParts {
  platform::Clock& clock;
  Log& log;
  MidiPort& port;
  const PlaybackOptions& options;
  PlayerObserver& observer;
  TranslationStage& stage;
  PlayClock& time;
  RequestQueue& requests;
};

struct Engine {
  explicit Engine(const EngineParts& parts)
      : clock(parts.clock),
        log(parts.log),
        port(parts.port),
        options(parts.options),
        observer(parts.observer),
        stage(parts.stage),
        time(parts.time),
        requests(parts.requests) {}

  platform::Clock& clock;
  Log& log;
  MidiPort& port;
  const PlaybackOptions& options;
  PlayerObserver& observer;
  TranslationStage& stage;
  PlayClock& time;
  RequestQueue& requests;

  SongData song;
  SongReader reader;
  PlayerState state;
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
  return engine.time.now();
}
inline void shiftClock(Engine& engine, int32_t ms) {
  engine.time.shift(ms);
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

// A channel message that the player sends of its own for the song (no note): translated, sent
// and kept for the chase as the song's own message would be.
void playSongMessage(Engine& engine, int status, int data1, int data2);
// At the start of a tick at which a repeat or loop point may be set: the song's state is kept.
void keepTickStart(Engine& engine);

// --- Requests ------------------------------------------------------------------------------

// Takes every request waiting and carries it out (the caller owns the player).
void applyRequests(Engine& engine);
// One pass of the player: the requests, then the stage's fade step and volumes; a fade that
// has ended the song ends the play.
void servicePass(Engine& engine);
// Waits ms on the clock, ended early by a request, which is then carried out.
void waitServing(Engine& engine, int32_t ms);
// Speed steps of the faster and slower requests: the divisor times 17/16, or
// (16 x divisor + 8) / 17.
int32_t fasterSpeed(int32_t divisor);
int32_t slowerSpeed(int32_t divisor);

// --- Pause and seek ------------------------------------------------------------------------

// Where the song stands now, in ticks: the tick of the last events played and the music the
// clock has gone on since, short of the next event.
int32_t currentTick(Engine& engine);
// The tick a seek of `measures` measures (of four quarters of `quarter` ticks) from tick lands
// on: forward, the start of the measure
// that many on; back, the start of the measure that many back counting the one under way as the
// first (unless it has only begun: within its first beat). Never before the song's start.
int32_t measureStepTarget(int32_t quarter, int32_t tick, int32_t measures);
// Moves the song to tick: the notes sounding are ended, the module is given the state the song
// would have put it in at the tick, and the song plays on from the tick's events, at their
// musical distances from now. A tick past the song's end acts as reaching its end.
void seekTo(Engine& engine, int32_t tick);
// Sends the state the song had put the module in before tick (a module reset while paused).
void chaseModuleAt(Engine& engine, int32_t tick);
// A pause or a seek asked for is carried out (the player is between ticks). While paused the
// player waits here, taking requests, until it is resumed or stopped. True when the song was
// moved.
bool settleTransport(Engine& engine);

// --- Repeats -------------------------------------------------------------------------------

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
// Ends the song: every sounding note is silenced and GM System On follows.
int stopPlayback(Engine& engine);

}  // namespace tessaro
