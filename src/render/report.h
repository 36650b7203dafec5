// What a conversion shows while it runs, on the main thread: on a terminal (standard error) a
// progress bar, with the songs not converted said above it as they fail; elsewhere one line a
// song in the songs' order; a summary at the end. Quiet: errors and warnings only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/log.h"
#include "render/conversion.h"
#include "render/progress.h"

namespace tessaro::render {

// What one song's conversion came to.
struct SongReport {
  enum class Outcome { converted, failed, skipped, abandoned };
  size_t song = 0;
  Outcome outcome = Outcome::failed;
  std::string output;
  std::string reason;    // why not, in plain words
  std::string messages;  // what the loader and the player said
  uint32_t musicMs = 0;
  bool cut = false;  // cut at the 24-hour bound
  // What the user is told of the song at every report level.
  std::vector<std::string> warnings;
};

class ConversionReport {
 public:
  // columns: the width of the terminal on standard error, asked at every redraw; the bar is
  // drawn when it is one at the start.
  // joined: the songs go into one file, so that none is said converted before it is complete.
  ConversionReport(const ConversionTask& task, bool joined, Log& log, std::function<int()> columns);

  // The synthesizer loads its SoundFont before the first song.
  void loading(bool on);
  // A song ended.
  void add(SongReport report);
  // The songs under way and how long the run has taken; redraws the bar.
  void show(std::vector<SongUnderWay> current, uint64_t inFlightMs, uint64_t wallMs);
  // The joined file was not completed (problem says why; empty after a stop request): none of
  // its songs was converted.
  void joinedLost(const std::string& output, const std::string& problem);
  // The rest of the lines and the summary; the exit status.
  int finish(bool stopped, uint64_t wallMs);

 private:
  void tell(const SongReport& report);
  void drawBar();

  const ConversionTask& task_;
  Log& log_;
  std::function<int()> columns_;
  bool joined_;
  bool bar_;
  ProgressFacts facts_;
  uint64_t playedMs_ = 0;              // music of the songs ended, converted or not
  uint64_t convertedMs_ = 0;           // music of the songs written into complete files
  std::map<size_t, SongReport> held_;  // songs ended before one that comes first
  size_t next_ = 0;                    // the song whose line comes next
  std::vector<SongReport> inJoined_;   // songs converted into a joined file not yet complete
  bool joinedLost_ = false;
};

}  // namespace tessaro::render
