#include "render/progress.h"

#include <algorithm>
#include <cstdio>

namespace tessaro::render {

namespace {

// The layouts tried in turn until one fits: the bar's width, the longest song name shown, and
// whether each song under way keeps its own entry, the last one alone stands for them all, or
// none is shown.
enum class Entries { each, last, none };
struct Layout {
  size_t bar;
  size_t name;
  Entries entries;
};
constexpr Layout layouts[] = {
    {24, 24, Entries::each}, {16, 16, Entries::each}, {10, 12, Entries::each},
    {10, 8, Entries::each},  {10, 8, Entries::last},  {0, 8, Entries::last},
    {0, 8, Entries::none},
};

std::string format(const char* pattern, double value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

// The song's name without its directory, cut to width (a cut name ends in "~"), with any
// control character (which a terminal would act on) shown as "?". A name is cut between whole
// UTF-8 characters.
std::string shortName(const std::string& path, size_t width) {
  size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  if (name.size() <= width) return name;
  size_t cut = width - 1;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return name.substr(0, cut) + "~";
}

std::string numbered(size_t number, size_t total) {
  char text[48];
  std::snprintf(text, sizeof text, "[%zu/%zu] ", number, total);
  return text;
}

std::string entryOf(const SongUnderWay& song, size_t nameWidth) {
  std::string entry = shortName(song.path, nameWidth);
  entry += song.loading ? " loading SoundFont" : " " + std::to_string(song.permille / 10) + "%";
  return entry;
}

std::string barOf(const ProgressFacts& facts, size_t width) {
  if (width == 0) return {};
  uint64_t parts = static_cast<uint64_t>(std::max<size_t>(facts.total, 1)) * 1000;
  uint64_t reached = facts.done * 1000;
  for (const SongUnderWay& song : facts.current) reached += song.permille;
  size_t filled = static_cast<size_t>(std::min(reached, parts) * width / parts);
  return "[" + std::string(filled, '#') + std::string(width - filled, '.') + "]  ";
}

std::string compose(const ProgressFacts& facts, const Layout& layout) {
  std::string line = barOf(facts, layout.bar);
  line += std::to_string(facts.done) + "/" + std::to_string(facts.total);
  if (facts.loading) line += "  loading SoundFont";
  if (layout.entries == Entries::each) {
    for (const SongUnderWay& song : facts.current) line += "  " + entryOf(song, layout.name);
  } else if (layout.entries == Entries::last && !facts.current.empty()) {
    line += "  " + entryOf(facts.current.back(), layout.name);
    if (facts.current.size() > 1) line += " +" + std::to_string(facts.current.size() - 1);
  }
  std::string speed = speedText(facts.musicMs, facts.wallMs);
  if (!speed.empty()) line += "  " + speed;
  if (uint64_t left = timeLeftMs(facts); left >= 1000) line += "  " + musicTime(left) + " left";
  if (facts.failed > 0) line += "  " + std::to_string(facts.failed) + " failed";
  return line;
}

}  // namespace

std::string musicTime(uint64_t ms) {
  uint64_t seconds = ms / 1000;
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu",
                  static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned long long>(seconds / 60 % 60),
                  static_cast<unsigned long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
  }
  return text;
}

std::string speedText(uint64_t musicMs, uint64_t wallMs) {
  if (wallMs == 0) return {};
  double speed = static_cast<double>(musicMs) / static_cast<double>(wallMs);
  return format(speed >= 10 ? "%.0fx" : "%.1fx", speed);
}

// The work is counted in thousandths of songs; the pace is told after a second at least.
uint64_t timeLeftMs(const ProgressFacts& facts) {
  uint64_t reached = facts.done * 1000;
  for (const SongUnderWay& song : facts.current) reached += song.permille;
  const uint64_t all = facts.total * 1000;
  if (facts.wallMs < 1000 || reached == 0 || reached >= all) return 0;
  return facts.wallMs * (all - reached) / reached;
}

std::string progressBar(const ProgressFacts& facts, size_t columns) {
  const size_t room = columns > 0 ? columns - 1 : 0;
  std::string line;
  for (const Layout& layout : layouts) {
    line = compose(facts, layout);
    if (line.size() <= room) return line;
  }
  // Narrower than the shortest layout: cut, between whole UTF-8 characters.
  size_t cut = room;
  while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
  return line.substr(0, cut);
}

std::string summaryLine(const ProgressFacts& facts) {
  size_t converted = facts.done - std::min(facts.failed + facts.skipped, facts.done);
  std::string line = facts.stopped ? "Stopped: " : "";
  line += converted == facts.total
              ? std::to_string(converted)
              : std::to_string(converted) + " of " + std::to_string(facts.total);
  line += facts.total == 1 && converted == 1 ? " song converted: " : " songs converted: ";
  line += musicTime(facts.musicMs) + " of music in " +
          format("%.2f s", static_cast<double>(facts.wallMs) / 1000);
  std::string speed = speedText(facts.musicMs, facts.wallMs);
  if (!speed.empty()) line += " (" + speed + " real time)";
  if (facts.failed > 0) line += "; " + std::to_string(facts.failed) + " failed";
  if (facts.skipped > 0)
    line += "; " + std::to_string(facts.skipped) + " skipped (their files exist)";
  return line;
}

std::string songLine(size_t number, size_t total, const std::string& song,
                     const std::string& output, uint64_t musicMs) {
  return numbered(number, total) + song + " -> " + output + " (" + musicTime(musicMs) + ")";
}

std::string skippedLine(size_t number, size_t total, const std::string& song,
                        const std::string& output) {
  return numbered(number, total) + song + ": skipped: " + output + " exists";
}

}  // namespace tessaro::render
