// The text a conversion shows: on a terminal one bar rewritten in place (songs done, each song
// under way and how far it is, the speed as a multiple of real time, the time left), cut to
// the terminal's width so that it never wraps; on pipes and files one plain line per song; one
// summary line at the end. Made from given values only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaro::render {

// One song being converted.
struct SongUnderWay {
  std::string path;
  uint32_t permille = 0;  // how far it is
  bool loading = false;   // the synthesizer loads its SoundFont for it
};

struct ProgressFacts {
  size_t done = 0;  // songs finished: converted, failed or skipped
  size_t total = 0;
  size_t failed = 0;
  size_t skipped = 0;                 // their files existed (-n)
  std::vector<SongUnderWay> current;  // in the order the songs were started
  uint64_t musicMs = 0;               // music converted so far
  uint64_t wallMs = 0;                // time the conversion has taken so far
  bool loading = false;               // the synthesizer loads its SoundFont before any song
  bool stopped = false;               // a stop request ended the run
};

// "[#####...........]  12/72  blues.mid 45%  waltz.mid 3%  38x  0:42 left", at most
// columns - 1 characters (a terminal wraps a line that fills its last column).
std::string progressBar(const ProgressFacts& facts, size_t columns);
// "72 songs converted: 3:41:12 of music in 2.41 s (5512x real time)", with the failures and
// the skipped songs when there were any, and "Stopped:" before it after a stop request.
std::string summaryLine(const ProgressFacts& facts);
// "[3/72] songs/a.mid -> out/a.xg.mid (3:12)"
std::string songLine(size_t number, size_t total, const std::string& song,
                     const std::string& output, uint64_t musicMs);
// "[4/72] songs/b.mid: skipped: out/b.xg.mid exists"
std::string skippedLine(size_t number, size_t total, const std::string& song,
                        const std::string& output);

// Music time: "3:07", "1:02:03".
std::string musicTime(uint64_t ms);
// The speed as a multiple of real time ("38x", "1.5x"); empty when no time has passed.
std::string speedText(uint64_t musicMs, uint64_t wallMs);
// What is left of the work at the pace so far; 0 when it cannot be told yet.
uint64_t timeLeftMs(const ProgressFacts& facts);

}  // namespace tessaro::render
