#include "render/progress.h"

#include <algorithm>
#include <cstdio>

namespace tessaro::render {

namespace {

constexpr size_t barWidth = 24;
constexpr size_t nameWidth = 28;  // longest song name shown on the bar

std::string format(const char* pattern, double value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

// The song's name without its directory, cut to fit the bar.
std::string shortName(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.size() > nameWidth) name = name.substr(0, nameWidth - 3) + "...";
  return name;
}

std::string numbered(size_t number, size_t total) {
  char text[48];
  std::snprintf(text, sizeof text, "[%zu/%zu] ", number, total);
  return text;
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

std::string progressBar(const ProgressFacts& facts) {
  uint64_t parts = static_cast<uint64_t>(std::max<size_t>(facts.total, 1)) * 1000;
  uint64_t reached = std::min<uint64_t>(facts.done * 1000 + facts.permille, parts);
  size_t filled = static_cast<size_t>(reached * barWidth / parts);
  std::string line(1, '[');
  line.append(filled, '#');
  line.append(barWidth - filled, '.');
  line += "]  ";
  line += std::to_string(facts.done);
  line += '/';
  line += std::to_string(facts.total);
  if (!facts.current.empty())
    line += "  " + shortName(facts.current) + " " + std::to_string(facts.permille / 10) + "%";
  std::string speed = speedText(facts.musicMs, facts.wallMs);
  if (!speed.empty()) line += "  " + speed + " real time";
  if (facts.failed > 0) line += "  " + std::to_string(facts.failed) + " failed";
  return line;
}

std::string summaryLine(const ProgressFacts& facts) {
  size_t converted = facts.done - std::min(facts.failed, facts.done);
  std::string line = facts.failed == 0
                         ? std::to_string(converted)
                         : std::to_string(converted) + " of " + std::to_string(facts.total);
  line += facts.total == 1 && facts.failed == 0 ? " song converted: " : " songs converted: ";
  line += musicTime(facts.musicMs) + " of music in " +
          format("%.2f s", static_cast<double>(facts.wallMs) / 1000);
  std::string speed = speedText(facts.musicMs, facts.wallMs);
  if (!speed.empty()) line += " (" + speed + " real time)";
  if (facts.failed > 0) line += "; " + std::to_string(facts.failed) + " failed";
  return line;
}

std::string songLine(size_t number, size_t total, const std::string& song,
                     const std::string& output, uint64_t musicMs) {
  return numbered(number, total) + song + " -> " + output + " (" + musicTime(musicMs) + ")";
}

std::string failureLine(size_t number, size_t total, const std::string& song,
                        const std::string& reason) {
  return numbered(number, total) + song + ": not converted: " + reason;
}

}  // namespace tessaro::render
