#include "render/report.h"

#include <algorithm>

namespace tessaro::render {

ConversionReport::ConversionReport(const ConversionTask& task, bool joined, Log& log,
                                   std::function<int()> columns)
    : task_(task), log_(log), columns_(std::move(columns)), joined_(joined) {
  bar_ = !task.quiet && columns_() > 0;
  facts_.total = task.songs.size();
}

void ConversionReport::loading(bool on) {
  facts_.loading = on;
  if (bar_) drawBar();
}

// A song converted into a joined file is said only once the file is complete; without a bar
// the songs of a joined file are said in order at the end.
void ConversionReport::add(SongReport report) {
  if (report.outcome == SongReport::Outcome::abandoned) return;
  playedMs_ += report.musicMs;
  if (report.outcome == SongReport::Outcome::converted && !joined_) convertedMs_ += report.musicMs;
  ++facts_.done;
  if (report.outcome == SongReport::Outcome::failed) ++facts_.failed;
  if (report.outcome == SongReport::Outcome::skipped) ++facts_.skipped;
  const bool intoJoined = joined_ && report.outcome == SongReport::Outcome::converted;
  if (bar_ && intoJoined) inJoined_.push_back(std::move(report));
  if (bar_) {
    if (!intoJoined) tell(report);
    return;
  }
  held_.emplace(report.song, std::move(report));
  if (joined_) return;
  for (auto it = held_.find(next_); it != held_.end(); it = held_.find(++next_)) {
    tell(it->second);
    held_.erase(it);
  }
}

// A failure is an error, a song cut short a warning, whether the bar is drawn or not; the
// lines of songs converted or skipped replace the bar where there is none.
void ConversionReport::tell(const SongReport& report) {
  const std::string& song = task_.songs[report.song];
  const size_t number = report.song + 1;
  const bool lines = !bar_ && !task_.quiet;
  switch (report.outcome) {
    case SongReport::Outcome::converted:
      if (lines)
        log_.write(songLine(number, facts_.total, song, report.output, report.musicMs) + "\n");
      break;
    case SongReport::Outcome::skipped:
      if (lines) log_.write(skippedLine(number, facts_.total, song, report.output) + "\n");
      break;
    case SongReport::Outcome::failed:
      log_.problem(song, "not converted: " + report.reason);
      break;
    case SongReport::Outcome::abandoned:
      break;
  }
  for (const std::string& warning : report.warnings) log_.problem(song, warning);
  if (report.cut) log_.problem(song, "cut after 24 hours of music; the rest is not converted");
  if (!task_.quiet && task_.settings.reportLevel >= 1 && !report.messages.empty())
    log_.write(report.messages);
}

void ConversionReport::show(std::vector<SongUnderWay> current, uint64_t inFlightMs,
                            uint64_t wallMs) {
  facts_.current = std::move(current);
  facts_.musicMs = playedMs_ + inFlightMs;
  facts_.wallMs = wallMs;
  if (bar_) drawBar();
}

void ConversionReport::drawBar() {
  const int columns = columns_();
  if (columns > 0) log_.showStatus(progressBar(facts_, static_cast<size_t>(columns)), true);
}

void ConversionReport::joinedLost(const std::string& output, const std::string& problem) {
  joinedLost_ = true;
  if (!problem.empty()) log_.problem(output, problem);
}

int ConversionReport::finish(bool stopped, uint64_t wallMs) {
  // A joined file's songs are said now, those converted only when the file is complete.
  for (SongReport& report : inJoined_) held_.emplace(report.song, std::move(report));
  for (const auto& [song, report] : held_) {
    const bool converted = report.outcome == SongReport::Outcome::converted;
    if (converted && joined_ && !joinedLost_) convertedMs_ += report.musicMs;
    if (!converted || !joinedLost_) tell(report);
  }
  held_.clear();
  inJoined_.clear();
  log_.clearStatus();
  facts_.current.clear();
  facts_.loading = false;
  facts_.musicMs = convertedMs_;
  facts_.wallMs = wallMs;
  facts_.stopped = stopped;
  // The songs of a joined file that was not completed are in no file: not converted, failed
  // unless a stop request ended them.
  if (joinedLost_ && stopped) facts_.done = facts_.skipped + facts_.failed;
  if (joinedLost_ && !stopped) facts_.failed = facts_.done - facts_.skipped;
  if (!task_.quiet) log_.write(summaryLine(facts_) + "\n");
  if (stopped) return ConversionStatus::stopped;
  return facts_.failed > 0 ? someFailed : allConverted;
}

}  // namespace tessaro::render
