// Engine: everything the song reader, the preparation and the player thread work on, owned
// once by the application (or a test) and passed by reference. It binds the shared records to
// the clock, the console output and the output port, and carries the hooks through which the
// player reaches the console keys and the display.
#pragma once

#include <atomic>
#include <functional>

#include "common/log.h"
#include "common/playback_options.h"
#include "midiout/midi_port.h"
#include "platform/platform.h"
#include "player/player_state.h"
#include "player/song_data.h"

namespace tessaro {

struct Engine {
  Engine(platform::Clock& clock, Log& log, MidiPort& port, PlaybackOptions& options,
         std::atomic<bool>& fullRepaintRequest)
      : clock(clock),
        log(log),
        port(port),
        options(options),
        fullRepaintRequest(fullRepaintRequest) {}

  platform::Clock& clock;
  Log& log;
  MidiPort& port;
  PlaybackOptions& options;
  std::atomic<bool>& fullRepaintRequest;

  SongData song;
  SongReader reader;
  PlayerState state;
  TargetMap targets;

  // The last console key, taken without waiting (the loader's large-track question).
  std::function<int()> takeConsoleKey;
  // Draws one NoteGrid cell: the message's own channel, the note, whether it now sounds.
  std::function<void(int channel, int note, bool sounding)> drawNoteCell;
  // Dispatches pending window messages of the calling thread.
  std::function<void()> pumpWindowMessages;
};

// --- Song reader and track store -------------------------------------------------------------

// Result codes of loadSong.
enum LoadResult : int {
  loadOk = 0,
  loadCannotOpen = -1,
  loadNotSmf = -2,
  loadNoEndOfTrack = -3,
  loadTruncated = -4,
  loadBadDivision = -5,
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

// --- Fade-out, volume offset, repeats ------------------------------------------------------

void fadeTick(Engine& engine);
void setUserVolume(Engine& engine, int32_t value);
void resetFadeVolume(Engine& engine);
// Text event of track at tick; the text is in messageBuffer. True when it made a repeat jump.
bool handleMarker(Engine& engine, int32_t track, int32_t tick);
void setRepeatPoint(Engine& engine, int32_t track, int32_t tick);
void repeatJump(Engine& engine, int32_t eventTick);

// --- Stop ----------------------------------------------------------------------------------

int silenceAll(Engine& engine);
// Ends the player thread (waiting for it), silences every sounding note, sends GM System On.
int stopPlayback(Engine& engine, platform::PlayerThread* thread);

}  // namespace tessaro
