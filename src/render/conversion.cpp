#include "render/conversion.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "control/commands.h"
#include "render/report.h"

namespace tessaro::render {

namespace fs = std::filesystem;

namespace {

constexpr size_t noSong = static_cast<size_t>(-1);

// How a final name is said: "-" is standard output.
std::string shownName(const std::string& path) {
  return path == platform::standardOutputName ? "standard output" : path;
}

// A directory can take files: made when missing, then a file is begun there and abandoned.
bool directoryTakesFiles(platform::OutputFiles& files, const std::string& directory,
                         std::string& problem) {
  std::error_code error;
  if (!fs::is_directory(directory, error)) {
    fs::create_directories(directory, error);
    if (error) {
      problem = directory + ": cannot make the directory: " + error.message();
      return false;
    }
  }
  platform::PendingFileOpen probe =
      files.begin((fs::path(directory) / ".tessaro-write-test").string(), "");
  if (!probe.file) problem = directory + ": cannot write into it: " + probe.problem;
  return probe.file != nullptr;
}

// One worker's song under way, shown by the main thread.
struct WorkerSlot {
  std::atomic<size_t> song{noSong};
  SongProgress progress;

  void begin(size_t index) {
    progress.permille.store(0, std::memory_order_relaxed);
    progress.musicMs.store(0, std::memory_order_relaxed);
    progress.loading.store(false, std::memory_order_relaxed);
    song.store(index, std::memory_order_relaxed);
  }
  void end() { song.store(noSong, std::memory_order_relaxed); }
};

class ConversionRun {
 public:
  ConversionRun(const ConversionTask& task, const ConversionPlan& plan, ConversionContext& context)
      : task_(task), plan_(plan), context_(context) {}

  // A joined file is begun before the run, so that one that cannot be written is said at once.
  bool openJoined(std::string& problem) {
    if (!plan_.joined || plan_.files.front().skip) return true;
    const PlannedFile& file = plan_.files.front();
    platform::PendingFileOpen pending = context_.files.begin(file.path, file.type);
    std::string why = "cannot write: " + pending.problem;
    if (pending.file) joined_ = makeOutput(file, *pending.file, why);
    joinedFile_ = std::move(pending.file);
    if (!joined_) problem = shownName(file.path) + ": " + why;
    return joined_ != nullptr;
  }

  void start(size_t jobs) {
    size_t workers = plan_.joined ? 1 : std::min(jobs, plan_.files.size());
    slots_ = std::make_unique<WorkerSlot[]>(workers);
    slotCount_ = workers;
    running_ = workers;
    for (size_t w = 0; w < workers; ++w) {
      threads_.emplace_back(
          [this, w] { plan_.joined ? joinedWorker(slots_[w]) : fileWorker(slots_[w]); });
    }
  }

  // The songs under way end at their next wait, and no other begins. Main thread only.
  void requestStop() { stop_.store(true); }

  // Waits up to ms for reports; false once every worker has finished and nothing is left.
  bool wait(std::deque<SongReport>& reports, int ms) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(ms),
                      [this] { return !reports_.empty() || running_ == 0; });
    reports.swap(reports_);
    reports_.clear();
    return running_ != 0 || !reports.empty();
  }

  void join() {
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
  }

  // The songs under way in the order they began, and the music played of them all.
  std::vector<SongUnderWay> current(uint64_t& inFlightMs) const {
    std::vector<std::pair<size_t, SongUnderWay>> songs;
    inFlightMs = 0;
    for (size_t w = 0; w < slotCount_; ++w) {
      size_t song = slots_[w].song.load(std::memory_order_relaxed);
      if (song == noSong) continue;
      const SongProgress& progress = slots_[w].progress;
      inFlightMs += progress.musicMs.load(std::memory_order_relaxed);
      songs.push_back({song,
                       {task_.songs[song], progress.permille.load(std::memory_order_relaxed),
                        progress.loading.load(std::memory_order_relaxed)}});
    }
    std::sort(songs.begin(), songs.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<SongUnderWay> shown;
    for (auto& [song, underWay] : songs) shown.push_back(std::move(underWay));
    return shown;
  }

  // After join: whether the joined file was left unwritten, and why (nothing after a stop).
  bool joinedLost() const { return joinedLost_; }
  const std::string& joinedProblem() const { return joinedProblem_; }

 private:
  // The writer of a file: MIDI into the pending file's stream, audio through a renderer that
  // opens it by name (its type is the name's extension).
  std::unique_ptr<Output> makeOutput(const PlannedFile& file, platform::PendingFile& pending,
                                     std::string& problem) {
    if (!file.audio) {
      std::FILE* stream = pending.stream();
      if (stream == nullptr) problem = "cannot write";
      return stream != nullptr ? std::make_unique<MidiFileOutput>(stream) : nullptr;
    }
    platform::AudioRendererOpen opened =
        context_.audio->open(pending.path(), moduleConventionOf(task_.settings.target), stop_);
    if (!opened.renderer) {
      problem = opened.reason;
      return nullptr;
    }
    return std::make_unique<AudioFileOutput>(std::move(opened.renderer),
                                             context_.audio->sampleRate());
  }

  // The writer's end, then the rename over the final name; false with the problem.
  static bool complete(Output& output, platform::PendingFile& pending, std::string& problem) {
    if (!output.finish(problem)) return false;
    if (pending.commit(problem)) return true;
    problem = "cannot write: " + problem;
    return false;
  }

  void report(SongReport report) {
    std::lock_guard lock(mutex_);
    reports_.push_back(std::move(report));
    changed_.notify_one();
  }

  void finished() {
    std::lock_guard lock(mutex_);
    --running_;
    changed_.notify_one();
  }

  // One session, clock and output per song; the file is left unwritten when the song fails.
  void convertFile(const PlannedFile& file, WorkerSlot& slot, SongReport& out) {
    if (file.skip) {
      out.outcome = SongReport::Outcome::skipped;
      return;
    }
    OfflineSession session(task_.settings, &slot.progress, &stop_);
    if (!session.load(task_.songs[out.song], out.reason)) {
      out.messages = session.messages();
      return;
    }
    platform::PendingFileOpen pending = context_.files.begin(file.path, file.type);
    if (!pending.file) {
      out.reason = file.path + ": cannot write: " + pending.problem;
      return;
    }
    slot.progress.loading.store(file.audio, std::memory_order_relaxed);
    std::unique_ptr<Output> output = makeOutput(file, *pending.file, out.reason);
    slot.progress.loading.store(false, std::memory_order_relaxed);
    if (!output) {
      out.reason = file.path + ": " + out.reason;
      return;
    }
    session.sendDirectBytes(*output);
    out.musicMs = session.perform(*output);
    out.cut = session.cut();
    out.messages = session.messages();
    out.warnings = session.warnings();
    if (stop_.load()) {
      out.outcome = SongReport::Outcome::abandoned;
      return;
    }
    std::string problem;
    if (complete(*output, *pending.file, problem))
      out.outcome = SongReport::Outcome::converted;
    else
      out.reason = shownName(file.path) + ": " + problem;
  }

  void fileWorker(WorkerSlot& slot) {
    for (size_t i; !stop_.load() && (i = next_.fetch_add(1)) < plan_.files.size();) {
      const PlannedFile& file = plan_.files[i];
      SongReport out;
      out.song = file.songs.front();
      out.output = shownName(file.path);
      slot.begin(out.song);
      try {
        convertFile(file, slot, out);
      } catch (const std::exception& e) {
        out.outcome = SongReport::Outcome::failed;
        out.reason = std::string("the conversion failed: ") + e.what();
      }
      slot.end();
      report(std::move(out));
    }
    finished();
  }

  // Every song in one session, into the one file, as the play list plays them.
  void joinedWorker(WorkerSlot& slot) {
    const PlannedFile& file = plan_.files.front();
    try {
      OfflineSession session(task_.settings, &slot.progress, &stop_);
      if (joined_) session.sendDirectBytes(*joined_);
      bool any = false;
      for (size_t song : file.songs) {
        if (stop_.load()) break;
        SongReport out;
        out.song = song;
        out.output = shownName(file.path);
        slot.begin(song);
        if (!joined_) {
          out.outcome = SongReport::Outcome::skipped;
        } else if (session.load(task_.songs[song], out.reason)) {
          out.musicMs = session.perform(*joined_);
          out.cut = session.cut();
          out.outcome =
              stop_.load() ? SongReport::Outcome::abandoned : SongReport::Outcome::converted;
          any = any || out.outcome == SongReport::Outcome::converted;
        }
        out.messages = session.messages();
        out.warnings = session.warnings();
        slot.end();
        report(std::move(out));
      }
      // Without a song the file is not written, and whatever was at its name stays.
      joinedLost_ = joined_ && stop_.load();
      if (any && !stop_.load() && !complete(*joined_, *joinedFile_, joinedProblem_))
        joinedLost_ = true;
    } catch (const std::exception& e) {
      joinedLost_ = true;
      joinedProblem_ = std::string("the conversion failed: ") + e.what();
    }
    joined_.reset();
    joinedFile_.reset();
    finished();
  }

  const ConversionTask& task_;
  const ConversionPlan& plan_;
  ConversionContext& context_;
  std::atomic<bool> stop_{false};  // written by the main thread only
  std::unique_ptr<platform::PendingFile> joinedFile_;
  std::unique_ptr<Output> joined_;
  // Written by the joined worker, read after it has been joined.
  bool joinedLost_ = false;
  std::string joinedProblem_;
  std::atomic<size_t> next_{0};
  std::unique_ptr<WorkerSlot[]> slots_;
  size_t slotCount_ = 0;
  std::vector<std::thread> threads_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<SongReport> reports_;
  size_t running_ = 0;
};

// Prepares what the run needs before any song: the directory of per-song files, the
// synthesizer for audio files, the joined file. The problem names what is at fault.
bool prepareRun(const ConversionPlan& plan, ConversionContext& context, ConversionReport& report,
                ConversionRun& run, std::string& problem) {
  if (!plan.directory.empty() && !directoryTakesFiles(context.files, plan.directory, problem))
    return false;
  bool anyAudio = std::any_of(plan.files.begin(), plan.files.end(),
                              [](const PlannedFile& file) { return file.audio && !file.skip; });
  if (anyAudio) {
    report.loading(true);
    bool prepared = context.audio->prepare(problem);
    report.loading(false);
    if (!prepared) return false;
  }
  return run.openJoined(problem);
}

}  // namespace

int runConversion(const ConversionTask& task, ConversionContext& context) {
  ConversionPlan plan = planConversion(task, context.audio);
  if (!plan.problem.empty()) {
    context.log.error("tessaro: " + plan.problem);
    return usageError;
  }
  ConversionReport report(task, plan.joined, context.log, context.progressColumns);
  ConversionRun run(task, plan, context);
  std::string problem;
  if (!prepareRun(plan, context, report, run, problem)) {
    context.log.clearStatus();
    context.log.error("tessaro: " + problem);
    return someFailed;
  }
  size_t jobs = task.jobs > 0 ? static_cast<size_t>(task.jobs)
                              : std::max<size_t>(std::thread::hardware_concurrency(), 1);
  platform::Clock& wall = context.wallClock;
  const uint32_t started = wall.tickMs();
  bool stopping = context.interrupted();
  if (stopping) run.requestStop();
  run.start(jobs);
  std::deque<SongReport> reports;
  while (run.wait(reports, 100)) {
    if (!stopping && context.interrupted()) {
      stopping = true;
      run.requestStop();
    }
    for (SongReport& ended : reports) report.add(std::move(ended));
    reports.clear();
    uint64_t inFlightMs = 0;
    std::vector<SongUnderWay> current = run.current(inFlightMs);
    report.show(std::move(current), inFlightMs, wall.tickMs() - started);
  }
  run.join();
  if (run.joinedLost()) report.joinedLost(shownName(task.output), run.joinedProblem());
  return report.finish(stopping, wall.tickMs() - started);
}

}  // namespace tessaro::render
