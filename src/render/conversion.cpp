#include "render/conversion.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "control/commands.h"
#include "render/progress.h"

namespace tessaro::render {

namespace fs = std::filesystem;

namespace {

constexpr const char* audioTypes[] = {".wav", ".flac", ".ogg"};
constexpr size_t noSong = static_cast<size_t>(-1);

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

const char* targetTag(Target target) {
  return target == Target::xg ? "xg" : target == Target::gm ? "gm" : "nc";
}

bool endsWithSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '/' || path.back() == '\\');
}

// The types this machine writes, for the message about one it does not.
std::string typesWritten(const platform::AudioRenderers* audio) {
  std::string list = ".mid";
  for (const char* type : audioTypes)
    if (audio != nullptr && audio->writes(type)) list += std::string(", ") + type;
  return list;
}

// Per-song file names in the order of the songs, each used once.
std::vector<std::string> songFileNames(const ConversionTask& task, const std::string& type) {
  std::set<std::string> used;
  std::vector<std::string> names;
  const std::string suffix = std::string(".") + targetTag(task.settings.target) + type;
  for (const std::string& song : task.songs) {
    std::string stem = fs::path(song).stem().string();
    if (stem.empty()) stem = "song";
    std::string name = stem + suffix;
    for (int n = 2; used.count(name) != 0; ++n) name = stem + "-" + std::to_string(n) + suffix;
    used.insert(name);
    names.push_back(name);
  }
  return names;
}

// A file's directory can take files: one is made there and removed again.
bool directoryTakesFiles(const std::string& directory, std::string& problem) {
  std::error_code error;
  if (!fs::is_directory(directory, error)) {
    fs::create_directories(directory, error);
    if (error) {
      problem = "cannot make the directory " + directory + ": " + error.message();
      return false;
    }
  }
  fs::path probe = fs::path(directory) / ".tessaro-write-test";
  std::FILE* file = std::fopen(probe.string().c_str(), "wb");
  if (file == nullptr) {
    problem = "cannot write into " + directory + ": " +
              std::error_code(errno, std::generic_category()).message();
    return false;
  }
  std::fclose(file);
  fs::remove(probe, error);
  return true;
}

// What one song's conversion came to.
struct SongReport {
  size_t song = 0;
  bool converted = false;
  std::string output;
  std::string reason;    // why not, in plain words
  std::string messages;  // what the loader and the player said
  uint32_t musicMs = 0;
  // What the user is told of the song at every report level.
  std::vector<std::string> warnings;
};

// One worker's song under way, shown by the main thread.
struct WorkerSlot {
  std::atomic<size_t> song{noSong};
  SongProgress progress;
};

class ConversionRun {
 public:
  ConversionRun(const ConversionTask& task, const ConversionPlan& plan,
                platform::AudioRenderers* audio)
      : task_(task), plan_(plan), audio_(audio) {}

  // A joined file is made before the run, so that one that cannot be written is said at once.
  bool openJoined(std::string& problem) {
    if (!plan_.joined) return true;
    joined_ = makeOutput(plan_.files.front(), problem);
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

  // The song started last among those under way, with its progress; music played of them all.
  void current(ProgressFacts& facts, uint64_t& inFlightMs) const {
    inFlightMs = 0;
    size_t latest = noSong;
    for (size_t w = 0; w < slotCount_; ++w) {
      size_t song = slots_[w].song.load(std::memory_order_relaxed);
      if (song == noSong) continue;
      inFlightMs += slots_[w].progress.musicMs.load(std::memory_order_relaxed);
      if (latest == noSong || song > latest) {
        latest = song;
        facts.permille = slots_[w].progress.permille.load(std::memory_order_relaxed);
      }
    }
    facts.current = latest == noSong ? std::string() : task_.songs[latest];
  }

  std::string joinedProblem() const { return joinedProblem_; }

 private:
  std::unique_ptr<Output> makeOutput(const PlannedFile& file, std::string& problem) {
    if (!file.audio) {
      auto midi = std::make_unique<MidiFileOutput>(file.path);
      if (!midi->create(problem)) return nullptr;
      return midi;
    }
    platform::AudioRendererOpen opened =
        audio_->open(file.path, moduleConventionOf(task_.settings.target));
    if (!opened.renderer) {
      problem = opened.reason;
      return nullptr;
    }
    return std::make_unique<AudioFileOutput>(std::move(opened.renderer), audio_->sampleRate());
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

  // One session, clock and output per song; the file is left out when the song fails.
  void convertFile(const PlannedFile& file, WorkerSlot& slot, SongReport& out) {
    OfflineSession session(task_.settings, &slot.progress);
    if (!session.load(task_.songs[out.song], out.reason)) {
      out.messages = session.messages();
      return;
    }
    std::unique_ptr<Output> output = makeOutput(file, out.reason);
    if (!output) return;
    session.sendDirectBytes(*output);
    out.musicMs = session.perform(*output);
    out.messages = session.messages();
    out.warnings = session.warnings();
    out.converted = output->finish(out.reason);
    if (!out.converted) {
      std::error_code error;
      fs::remove(file.path, error);
    }
  }

  void fileWorker(WorkerSlot& slot) {
    for (size_t i; (i = next_.fetch_add(1)) < plan_.files.size();) {
      const PlannedFile& file = plan_.files[i];
      SongReport out;
      out.song = file.songs.front();
      out.output = file.path;
      slot.progress.permille.store(0, std::memory_order_relaxed);
      slot.progress.musicMs.store(0, std::memory_order_relaxed);
      slot.song.store(out.song, std::memory_order_relaxed);
      try {
        convertFile(file, slot, out);
      } catch (const std::exception& e) {
        out.converted = false;
        out.reason = std::string("the conversion failed: ") + e.what();
        std::error_code error;
        fs::remove(file.path, error);
      }
      slot.song.store(noSong, std::memory_order_relaxed);
      report(std::move(out));
    }
    finished();
  }

  // Every song in one session, into the one file, as the play list plays them.
  void joinedWorker(WorkerSlot& slot) {
    const PlannedFile& file = plan_.files.front();
    try {
      OfflineSession session(task_.settings, &slot.progress);
      session.sendDirectBytes(*joined_);
      bool any = false;
      for (size_t song : file.songs) {
        SongReport out;
        out.song = song;
        out.output = file.path;
        slot.progress.permille.store(0, std::memory_order_relaxed);
        slot.progress.musicMs.store(0, std::memory_order_relaxed);
        slot.song.store(song, std::memory_order_relaxed);
        out.converted = session.load(task_.songs[song], out.reason);
        if (out.converted) out.musicMs = session.perform(*joined_);
        any = any || out.converted;
        out.messages = session.messages();
        out.warnings = session.warnings();
        slot.song.store(noSong, std::memory_order_relaxed);
        report(std::move(out));
      }
      // Without a song the file is not left behind.
      if (!any || !joined_->finish(joinedProblem_)) {
        joined_.reset();
        std::error_code error;
        fs::remove(file.path, error);
      }
    } catch (const std::exception& e) {
      joinedProblem_ = std::string("the conversion failed: ") + e.what();
    }
    finished();
  }

  const ConversionTask& task_;
  const ConversionPlan& plan_;
  platform::AudioRenderers* audio_;
  std::unique_ptr<Output> joined_;
  std::string joinedProblem_;  // written by the worker, read after it has been joined
  std::atomic<size_t> next_{0};
  std::unique_ptr<WorkerSlot[]> slots_;
  size_t slotCount_ = 0;
  std::vector<std::thread> threads_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<SongReport> reports_;
  size_t running_ = 0;
};

}  // namespace

ConversionPlan planConversion(const ConversionTask& task, const platform::AudioRenderers* audio) {
  ConversionPlan plan;
  const std::string& output = task.output;
  if (output.empty()) {
    plan.problem = "-o needs the name of a file or a directory to write";
    return plan;
  }
  if (task.jobs < 0) {
    plan.problem = "-j needs a number: how many songs to convert at once (0: one per core)";
    return plan;
  }
  if (task.songs.empty()) {
    plan.problem = "no song to convert: name the MIDI files after the options";
    return plan;
  }
  const fs::path path(output);
  const std::string name = path.filename().string();
  const bool pattern = name.size() > 2 && name.rfind("*.", 0) == 0;
  std::error_code error;
  const bool perSong = pattern || endsWithSeparator(output) || fs::is_directory(path, error);
  const std::string type = lowerCase(pattern   ? name.substr(1)
                                     : perSong ? std::string(".mid")
                                               : path.extension().string());
  const bool audioType = type != ".mid";
  if (audioType && (audio == nullptr || !audio->writes(type))) {
    plan.problem = output + ": " +
                   (type.empty() ? std::string("no extension") : "the type " + type) +
                   " cannot be written here (the types written: " + typesWritten(audio) + ")";
    return plan;
  }
  if (!perSong) {
    for (const std::string& song : task.songs) {
      if (fs::equivalent(song, path, error)) {
        plan.problem = output + " is one of the songs: it would be written over";
        return plan;
      }
    }
    plan.joined = true;
    PlannedFile file{output, {}, audioType};
    for (size_t i = 0; i < task.songs.size(); ++i) file.songs.push_back(i);
    plan.files.push_back(std::move(file));
    return plan;
  }
  fs::path directory = pattern ? path.parent_path() : path;
  plan.directory = directory.empty() ? std::string(".") : directory.string();
  std::vector<std::string> names = songFileNames(task, type);
  for (size_t i = 0; i < names.size(); ++i)
    plan.files.push_back({(fs::path(plan.directory) / names[i]).string(), {i}, audioType});
  return plan;
}

int runConversion(const ConversionTask& task, platform::AudioRenderers* audio,
                  platform::Clock& wallClock, Log& log, bool terminal) {
  ConversionPlan plan = planConversion(task, audio);
  std::string problem = plan.problem;
  if (problem.empty() && !plan.directory.empty()) directoryTakesFiles(plan.directory, problem);
  bool anyAudio = std::any_of(plan.files.begin(), plan.files.end(),
                              [](const PlannedFile& file) { return file.audio; });
  if (problem.empty() && anyAudio && !audio->prepare(problem))
    problem = "cannot render audio: " + problem;
  ConversionRun run(task, plan, audio);
  if (problem.empty()) run.openJoined(problem);
  if (!problem.empty()) {
    log.print("tessaro: %s\n", problem.c_str());
    return usageError;
  }

  size_t jobs = task.jobs > 0 ? static_cast<size_t>(task.jobs)
                              : std::max<size_t>(std::thread::hardware_concurrency(), 1);
  const uint32_t started = wallClock.tickMs();
  ProgressFacts facts;
  facts.total = task.songs.size();
  uint64_t finishedMs = 0;
  run.start(jobs);
  std::deque<SongReport> reports;
  while (run.wait(reports, 100)) {
    if (terminal && !reports.empty()) log.write("\r\x1b[K");
    for (const SongReport& report : reports) {
      ++facts.done;
      finishedMs += report.musicMs;
      const std::string& song = task.songs[report.song];
      if (!report.converted) {
        ++facts.failed;
        log.write(failureLine(report.song + 1, facts.total, song, report.reason) + "\n");
      } else if (!terminal) {
        log.write(songLine(report.song + 1, facts.total, song, report.output, report.musicMs) +
                  "\n");
      }
      for (const std::string& warning : report.warnings) log.problem(song, warning);
      if (task.settings.reportLevel >= 1 && !report.messages.empty()) log.write(report.messages);
    }
    reports.clear();
    uint64_t inFlightMs = 0;
    run.current(facts, inFlightMs);
    facts.musicMs = finishedMs + inFlightMs;
    facts.wallMs = wallClock.tickMs() - started;
    if (terminal) {
      std::string line(1, '\r');
      line += progressBar(facts);
      line += "\x1b[K";
      log.write(line);
    }
  }
  run.join();
  facts.current.clear();
  facts.musicMs = finishedMs;
  facts.wallMs = wallClock.tickMs() - started;
  if (terminal) log.write("\r\x1b[K");
  bool joinedFailed = !run.joinedProblem().empty();
  if (joinedFailed) log.print("tessaro: %s\n", run.joinedProblem().c_str());
  log.write(summaryLine(facts) + "\n");
  return facts.failed > 0 || joinedFailed ? someFailed : allConverted;
}

}  // namespace tessaro::render
