// SongFacts: what the console says of a loaded song before and while it plays: its title, the
// convention it is written for, its length and its tempo at any tick. Read once from the
// song's stored bytes on the main thread, so the player thread is not asked for any of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/conventions.h"
#include "platform/platform.h"
#include "player/song_data.h"

namespace tessaro {

struct TempoChange {
  int32_t tick = 0;
  int32_t tempo = 500000;  // microseconds per quarter note
};

struct SongFacts {
  std::string title;  // the first track's name, empty when it has none
  // The first convention the song shows (as the translation detects it); undecided: none.
  SongConvention convention = SongConvention::undecided;
  int32_t division = 0;
  int32_t endTick = 0;              // the last event of any track
  std::vector<TempoChange> tempos;  // in tick order; 500000 before the first
};

SongFacts readSongFacts(const SongData& song);
// Milliseconds from the song's start to tick at normal speed.
int64_t tickToMs(const SongFacts& facts, int32_t tick);
int32_t tempoAt(const SongFacts& facts, int32_t tick);

// The line before each song: "[2/5] song.mid  "Title"  GS -> XG". facts: null when the song
// could not be loaded.
std::string songHeader(int position, int total, const std::string& name, const SongFacts* facts,
                       Target target);

// The convention shown and what it is translated for: "GS -> XG", "XG", "GS, untranslated".
std::string conventionText(SongConvention convention, Target target);

// In plain words that a start position (measure and beat from 1, 0 for the first) lies at or
// past the song's last event, so that nothing of it would be heard; empty when it does not.
std::string startPastEnd(const SongFacts& facts, int32_t measure, int32_t beat);

// In plain words why a song could not be loaded (whole), from loadSong's result, what the load
// left in the song (the track it failed in, what it found at the path, the division) and what
// the path names; empty when it loaded whole.
std::string loadFailure(int loadResult, const SongData& song, const platform::PathFacts& path);

}  // namespace tessaro
