// The text a conversion shows: on a terminal one bar rewritten in place (songs done, the song
// under way and how far it is, the speed as a multiple of real time), on pipes and files one
// plain line per song; one summary line at the end. Made from given values only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessaro::render {

struct ProgressFacts {
  size_t done = 0;  // songs finished, converted or not
  size_t total = 0;
  size_t failed = 0;
  std::string current;    // path of the song under way; empty when none
  uint32_t permille = 0;  // of the song under way
  uint64_t musicMs = 0;   // music converted so far
  uint64_t wallMs = 0;    // time the conversion has taken so far
};

// "[#########...............]  12/72  blues.mid 45%  38x real time"
std::string progressBar(const ProgressFacts& facts);
// "72 songs converted: 3:41:12 of music in 2.41 s (5512x real time)", with the failures when
// there were any.
std::string summaryLine(const ProgressFacts& facts);
// "[3/72] songs/a.mid -> out/a.xg.mid (3:12)"
std::string songLine(size_t number, size_t total, const std::string& song,
                     const std::string& output, uint64_t musicMs);
// "[4/72] songs/b.mid: not converted: not a Standard MIDI File"
std::string failureLine(size_t number, size_t total, const std::string& song,
                        const std::string& reason);

// Music time: "3:07", "1:02:03".
std::string musicTime(uint64_t ms);
// The speed as a multiple of real time ("38x", "1.5x"); empty when no time has passed.
std::string speedText(uint64_t musicMs, uint64_t wallMs);

}  // namespace tessaro::render
