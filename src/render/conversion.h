// An offline conversion of a list of songs: what files it writes, and the run that writes them,
// per-song files on several threads at once, each with a session, a clock and an output of its
// own (nothing process-wide), or one joined file in one session, song after song as the play
// list plays them. Every file is written under a temporary name and renamed over its own only
// when it is complete; a stop request (Ctrl+C) abandons the songs under way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/log.h"
#include "platform/platform.h"
#include "render/offline_session.h"

namespace tessaro::render {

struct ConversionTask {
  std::vector<std::string> songs;
  std::string output;      // a file, a directory (DIR/, or one that exists), DIR/*.EXT, or "-"
  std::string type;        // the type when the output's name has none, and for "-" (-T)
  int32_t jobs = 0;        // songs converted at once: 0 one per core
  bool noClobber = false;  // songs whose output exists are skipped (-n)
  bool quiet = false;      // nothing but errors and warnings (-q)
  SongSettings settings;
};

// One file to write: the songs it holds, one or all of them.
struct PlannedFile {
  std::string path;
  std::vector<size_t> songs;  // indexes into the task's songs
  std::string type;           // its extension, lower case: ".mid", ".wav", ...
  bool audio = false;
  bool skip = false;  // it exists and the task keeps what exists
};

struct ConversionPlan {
  std::vector<PlannedFile> files;
  bool joined = false;
  std::string directory;  // made before the per-song files are written
  std::string problem;    // a usage error, "NAME: what happened": nothing is converted
};

// The files a task writes. DIR/ (or an existing directory) holds one file per song (MIDI, or
// the type -T names), DIR/*.EXT one file of that type per song, each named after the song and
// the target: song.xg.mid, song.gm.wav, song.nc.mid for an untranslated one (a name already
// given gets "-2", "-3", ... after the song's). Any other name is one file of the type its
// extension (else -T) names, holding every song one after another; "-" is standard output. A
// plan whose output would be one of the songs (by any name: ./, .., links) is refused.
ConversionPlan planConversion(const ConversionTask& task, const platform::AudioRenderers* audio);

// Exit statuses of a conversion; a stopped one ends with 128 + the signal (130 without one).
enum ConversionStatus : int { allConverted = 0, someFailed = 1, usageError = 2, stopped = 130 };

// What a conversion runs with.
struct ConversionContext {
  platform::OutputFiles& files;
  platform::AudioRenderers* audio;  // none: only MIDI files can be written
  platform::Clock& wallClock;       // times the run
  Log& log;
  // A stop request from outside the program (Ctrl+C, a request to terminate).
  std::function<bool()> interrupted = [] { return false; };
  // The width of the terminal progress is drawn on (standard error), asked at every redraw;
  // 0 when it is no terminal: then one line per song, in the songs' order.
  std::function<int()> progressColumns = [] { return 0; };
};

// Runs the conversion and returns its exit status. Songs converted go on the output stream as
// they end (or under a bar on a terminal); songs not converted and outputs that cannot be
// written are said on the error stream as "tessaro: NAME: what happened".
int runConversion(const ConversionTask& task, ConversionContext& context);

}  // namespace tessaro::render
