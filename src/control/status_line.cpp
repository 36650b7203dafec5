#include "control/status_line.h"

#include <algorithm>
#include <cstdio>

namespace tessaro {

namespace {

std::string clock(int64_t ms) {
  if (ms < 0) ms = 0;
  int64_t seconds = ms / 1000;
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                static_cast<long long>(seconds % 60));
  return text;
}

// The line with the last key's action, cut to fit columns - 1 characters.
std::string fitted(std::string line, const std::string& action, int columns) {
  if (!action.empty()) line += "  [" + action + "]";
  size_t room = static_cast<size_t>(std::max(columns - 1, 0));
  if (line.size() > room) line.resize(room);
  return line;
}

}  // namespace

std::string liveStatusLineText(const LiveStatusValues& v, int columns) {
  char text[160];
  std::snprintf(text, sizeof text, "live  %s  %llu messages  %llu dropped  vol %+d",
                v.convention.c_str(), static_cast<unsigned long long>(v.passed),
                static_cast<unsigned long long>(v.dropped), v.volume);
  return fitted(text, v.action, columns);
}

std::string statusLineText(const StatusValues& v, int columns) {
  std::string total = v.totalMs > 0 ? clock(v.totalMs) : "-:--";
  int64_t bpm = v.tempo > 0 ? (60000000LL + v.tempo / 2) / v.tempo : 0;
  int64_t speed = (static_cast<int64_t>(v.speedDivisor) + 5) / 10;
  char text[256];
  std::snprintf(
      text, sizeof text, "%s / %s  bar %d:%d  %lld bpm  speed %lld %%  vol %+d  repeats %d",
      clock(v.elapsedMs).c_str(), total.c_str(), std::max(v.measure, 1), std::max(v.beat, 1),
      static_cast<long long>(bpm), static_cast<long long>(speed), v.volume, std::max(v.repeats, 0));
  std::string line = text;
  if (v.paused) line.insert(line.find("  ") + 2, "paused  ");
  return fitted(line, v.action, columns);
}

}  // namespace tessaro
