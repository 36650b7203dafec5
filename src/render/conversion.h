// An offline conversion of a list of songs: what files it writes, and the run that writes them,
// per-song files on several threads at once, each with a session, a clock and an output of its
// own (nothing process-wide), or one joined file in one session, song after song as the play
// list plays them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/log.h"
#include "platform/platform.h"
#include "render/offline_session.h"

namespace tessaro::render {

struct ConversionTask {
  std::vector<std::string> songs;
  std::string output;  // a file, a directory (DIR/, or one that exists) or DIR/*.EXT
  int32_t jobs = 0;    // songs converted at once: 0 one per core
  SongSettings settings;
};

// One file to write: the songs it holds, one or all of them.
struct PlannedFile {
  std::string path;
  std::vector<size_t> songs;  // indexes into the task's songs
  bool audio = false;
};

struct ConversionPlan {
  std::vector<PlannedFile> files;
  bool joined = false;
  std::string directory;  // made before the per-song files are written
  std::string problem;    // a usage error in plain words: nothing is converted
};

// The files a task writes. DIR/ (or an existing directory) holds one MIDI file per song,
// DIR/*.EXT one file of that type per song, each named after the song and the target:
// song.xg.mid, song.gm.wav, song.nc.mid for an untranslated one (a name already given gets
// "-2", "-3", ... after the song's). Any other name is one file of the type its extension names,
// holding every song one after another.
ConversionPlan planConversion(const ConversionTask& task, const platform::AudioRenderers* audio);

// Exit statuses of a conversion.
enum ConversionStatus : int { allConverted = 0, someFailed = 1, usageError = 2 };

// Runs the conversion with its progress on log (a bar when terminal, else a line a song) and
// returns its exit status. wallClock times it; audio renders the audio files (none: only MIDI
// files can be written).
int runConversion(const ConversionTask& task, platform::AudioRenderers* audio,
                  platform::Clock& wallClock, Log& log, bool terminal);

}  // namespace tessaro::render
