// Timing benchmark: plays a dense generated song through the built program on a
// pseudo-terminal "serial line" while another process keeps one core busy, timestamps every
// byte that arrives on the far end, and compares each message's arrival with the time the song
// asks for. Reports the error around the ideal schedule (median, p99, max) and the program's
// CPU time per second of music.
//
// Usage: timing_bench [--seconds N] [--rate N] [--no-load] [--log FILE] [--dump FILE]
//                     [path/to/tessaro]
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/smf.h"

namespace {

using tessaro::testing::Bytes;
using tessaro::testing::Track;

constexpr int division = 480;
constexpr int channels = 16;
constexpr int startVolumes = 16;               // channel volumes every song begins with
constexpr double lineBytesPerSecond = 3840.0;  // 38400 baud, 10 bits a byte

struct Options {
  double seconds = 180.0;
  double rate = 1100.0;  // messages per second over all channels
  bool load = true;
  std::string log;
  std::string dump;  // every song message: tick, ideal and whole-us-per-tick times, arrival
  std::string binary = "./build/tessaro";
};

bool parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](double& out) {
      if (i + 1 >= argc) return false;
      char* end = nullptr;
      out = std::strtod(argv[++i], &end);
      return end != nullptr && *end == '\0' && out > 0;
    };
    if (arg == "--seconds") {
      if (!value(options.seconds)) return false;
    } else if (arg == "--rate") {
      if (!value(options.rate)) return false;
    } else if (arg == "--no-load") {
      options.load = false;
    } else if (arg == "--log") {
      if (i + 1 >= argc) return false;
      options.log = argv[++i];
    } else if (arg == "--dump") {
      if (i + 1 >= argc) return false;
      options.dump = argv[++i];
    } else if (!arg.empty() && arg[0] != '-') {
      options.binary = arg;
    } else {
      return false;
    }
  }
  return options.seconds >= 5;
}

int64_t monotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// --- The song ------------------------------------------------------------------------------

struct TempoChange {
  int64_t tick;
  uint32_t tempo;          // microseconds per quarter note
  double startUs;          // exact time of the change
  int64_t startRoundedUs;  // the same with whole microseconds per tick (see below)
};

// Tempo map with exact tick <-> time conversion. Alongside the exact times it keeps the
// schedule that whole microseconds per tick (rounded to nearest) give, to show how far that
// way of counting strays from the tempo map.
class TempoMap {
 public:
  void add(int64_t tick, uint32_t tempo) {
    if (!changes_.empty() && changes_.back().tick == tick) {
      changes_.back().tempo = tempo;
      return;
    }
    double us = changes_.empty() ? 0.0 : usAt(tick);
    int64_t rounded = changes_.empty() ? 0 : roundedUsAt(tick);
    changes_.push_back({tick, tempo, us, rounded});
  }
  const TempoChange& at(int64_t tick) const {
    auto it = std::upper_bound(changes_.begin(), changes_.end(), tick,
                               [](int64_t t, const TempoChange& c) { return t < c.tick; });
    return *(it - 1);
  }
  double usAt(int64_t tick) const {
    const TempoChange& c = at(tick);
    return c.startUs + static_cast<double>(tick - c.tick) * c.tempo / division;
  }
  int64_t roundedUsAt(int64_t tick) const {
    const TempoChange& c = at(tick);
    int64_t perTick = (c.tempo + division / 2) / division;
    return c.startRoundedUs + (tick - c.tick) * perTick;
  }
  // The last tick at or before a time.
  int64_t tickAtUs(double us) const {
    for (size_t i = 0; i < changes_.size(); ++i) {
      const TempoChange& c = changes_[i];
      if (i + 1 < changes_.size() && changes_[i + 1].startUs <= us) continue;
      return c.tick + static_cast<int64_t>((us - c.startUs) * division / c.tempo);
    }
    return 0;
  }
  const std::vector<TempoChange>& changes() const { return changes_; }

 private:
  std::vector<TempoChange> changes_;
};

// Steps between held tempos and gradual changes (a tempo event every few hundred ticks, not on
// the beat), so that the time of an event depends on many segments of the map.
TempoMap buildTempoMap(double seconds, std::mt19937& rng) {
  static constexpr uint32_t tempos[] = {500000, 461538, 545455, 428571, 600000,
                                        387097, 476190, 517241, 652174, 410959};
  TempoMap map;
  uint32_t tempo = 500000;
  int64_t tick = 0;
  map.add(0, tempo);
  std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(tempos)) - 1);
  std::uniform_int_distribution<int> beats(8, 20);
  std::uniform_int_distribution<int> stepTicks(100, 500);
  bool ramp = false;
  while (map.usAt(tick) < seconds * 1e6 + 1e6) {
    uint32_t target = tempos[pick(rng)];
    if (target == tempo) continue;
    if (ramp) {
      int steps = beats(rng);
      double from = tempo;
      for (int i = 1; i <= steps; ++i) {
        tick += stepTicks(rng);
        tempo = static_cast<uint32_t>(std::lround(from + (target - from) * i / steps));
        map.add(tick, tempo);
      }
    } else {
      tick += static_cast<int64_t>(beats(rng)) * division + stepTicks(rng);
      tempo = target;
      map.add(tick, tempo);
    }
    ramp = !ramp;
  }
  return map;
}

struct Expected {
  int64_t tick;
  int track;
  int order;  // position within its track
  Bytes bytes;
  double idealMs = 0;  // exact, from the song's start
  double modelMs = 0;  // whole microseconds per tick (rounded), whole milliseconds
  double driftMs = 0;  // whole microseconds per tick against the exact time, before whole ms
  double arrivalMs = -1;
  long wireIndex = -1;  // position on the wire among the messages after the start volumes
};

struct Song {
  TempoMap tempo;
  std::vector<Track> tracks;
  std::vector<Expected> expected;
  int64_t endTick = 0;
};

// One track per channel. Every message (notes, and now and then an expression controller or a
// pitch bend) follows the one before after a random 0.2x-1.8x of the mean gap, counted in
// milliseconds and turned into ticks at the tempo in force, so the density holds through the
// tempo changes. Notes are single-voiced per channel and always ended.
Song buildSong(const Options& options) {
  std::mt19937 rng(20240611);
  Song song;
  song.tempo = buildTempoMap(options.seconds, rng);
  song.endTick = song.tempo.tickAtUs(options.seconds * 1e6);

  Track conductor;
  int64_t last = 0;
  for (const TempoChange& c : song.tempo.changes()) {
    if (c.tick > song.endTick) break;
    conductor.tempo(static_cast<uint32_t>(c.tick - last), c.tempo);
    last = c.tick;
  }
  conductor.end(static_cast<uint32_t>(song.endTick + division - last));
  song.tracks.push_back(conductor);

  double meanGapMs = 1000.0 * channels / options.rate;
  std::uniform_real_distribution<double> gap(0.2 * meanGapMs, 1.8 * meanGapMs);
  std::uniform_int_distribution<int> noteOf(36, 96), velocityOf(1, 127), percent(0, 99);
  std::uniform_int_distribution<int> startOffset(0, 20), byte7(0, 127);
  for (int c = 0; c < channels; ++c) {
    Track track;
    int index = static_cast<int>(song.tracks.size());
    int order = 0;
    int64_t tick = 0, lastTick = 0;
    auto put = [&](Bytes bytes) {
      track.raw(static_cast<uint32_t>(tick - lastTick), bytes);
      song.expected.push_back({tick, index, order++, std::move(bytes)});
      lastTick = tick;
    };
    auto advance = [&] {
      double usPerTick = static_cast<double>(song.tempo.at(tick).tempo) / division;
      tick += std::max<int64_t>(1, std::llround(gap(rng) * 1000.0 / usPerTick));
    };
    uint8_t ch = static_cast<uint8_t>(c);
    put({static_cast<uint8_t>(0xC0 | ch), static_cast<uint8_t>(c * 7 % 128)});
    // Channel 1 opens at tick 0 with a note; the others join within a few ticks.
    if (c != 0) tick = startOffset(rng);
    bool opening = c == 0;
    while (tick < song.endTick) {
      int kind = opening ? 99 : percent(rng);
      opening = false;
      if (kind < 4) {
        put({static_cast<uint8_t>(0xB0 | ch), 11, static_cast<uint8_t>(byte7(rng))});
      } else if (kind < 8) {
        put({static_cast<uint8_t>(0xE0 | ch), static_cast<uint8_t>(byte7(rng)),
             static_cast<uint8_t>(byte7(rng))});
      } else {
        uint8_t note = static_cast<uint8_t>(noteOf(rng));
        put({static_cast<uint8_t>(0x90 | ch), note, static_cast<uint8_t>(velocityOf(rng))});
        advance();
        // Half the notes end with a note-on of velocity 0.
        if (percent(rng) < 50) {
          put({static_cast<uint8_t>(0x80 | ch), note, 0x40});
        } else {
          put({static_cast<uint8_t>(0x90 | ch), note, 0x00});
        }
      }
      advance();
    }
    track.end(static_cast<uint32_t>(song.endTick + division - lastTick));
    song.tracks.push_back(track);
  }

  std::stable_sort(song.expected.begin(), song.expected.end(),
                   [](const Expected& a, const Expected& b) {
                     if (a.tick != b.tick) return a.tick < b.tick;
                     if (a.track != b.track) return a.track < b.track;
                     return a.order < b.order;
                   });
  for (Expected& e : song.expected) {
    e.idealMs = song.tempo.usAt(e.tick) / 1000.0;
    e.modelMs = static_cast<double>(song.tempo.roundedUsAt(e.tick) / 1000);
    e.driftMs =
        (static_cast<double>(song.tempo.roundedUsAt(e.tick)) - song.tempo.usAt(e.tick)) / 1000.0;
  }
  return song;
}

// --- Processes -----------------------------------------------------------------------------

// A child that spins on one core until killed.
pid_t startLoad() {
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(0);
    volatile uint64_t counter = 0;
    for (;;) counter = counter + 1;
  }
  return pid;
}

pid_t startPlayer(const Options& options, const std::string& slave, const std::string& song,
                  const std::string& log) {
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid != 0) return pid;
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) _exit(126);
  int in = open("/dev/null", O_RDONLY);
  int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0) _exit(126);
  dup2(in, STDIN_FILENO);
  dup2(out, STDOUT_FILENO);
  dup2(out, STDERR_FILENO);
  setenv("TESSARO_COM1", slave.c_str(), 1);
  const char* args[] = {options.binary.c_str(), "/com1", "/nc", song.c_str(), nullptr};
  execv(options.binary.c_str(), const_cast<char* const*>(args));
  std::fprintf(stderr, "cannot run %s: %s\n", options.binary.c_str(), std::strerror(errno));
  _exit(127);
}

struct ThreadInfo {
  std::string name;
  int64_t cpuNs = 0;
  int policy = -1;
  int priority = 0;
  int nice = 0;
};

std::string readFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// CPU time and scheduling of each thread of a process, from /proc (schedstat counts run time in
// nanoseconds).
std::map<int, ThreadInfo> threadsOf(pid_t pid) {
  std::map<int, ThreadInfo> threads;
  std::string dir = "/proc/" + std::to_string(pid) + "/task";
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return threads;
  while (dirent* entry = readdir(d)) {
    if (entry->d_name[0] == '.') continue;
    int tid = std::atoi(entry->d_name);
    ThreadInfo info;
    info.name = readFirstLine(dir + "/" + entry->d_name + "/comm");
    std::istringstream(readFirstLine(dir + "/" + entry->d_name + "/schedstat")) >> info.cpuNs;
    info.policy = sched_getscheduler(tid);
    sched_param param{};
    if (sched_getparam(tid, &param) == 0) info.priority = param.sched_priority;
    errno = 0;
    info.nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    threads[tid] = info;
  }
  closedir(d);
  return threads;
}

const char* policyName(int policy) {
  switch (policy) {
    case SCHED_OTHER:
      return "SCHED_OTHER";
    case SCHED_FIFO:
      return "SCHED_FIFO";
    case SCHED_RR:
      return "SCHED_RR";
    default:
      return "?";
  }
}

// --- The wire ------------------------------------------------------------------------------

struct Chunk {
  double timeMs;
  size_t end;  // bytes received up to and including this chunk
};

struct Message {
  Bytes bytes;  // with its status, also when the wire used running status
  double timeMs;
};

int dataBytesOf(int status) {
  if (status < 0xC0) return 2;
  if (status < 0xE0) return 1;
  if (status < 0xF0) return 2;
  if (status == 0xF1 || status == 0xF3) return 1;
  if (status == 0xF2) return 2;
  return 0;
}

// Splits the byte stream into messages; a message's time is that of the chunk holding its
// last byte.
std::vector<Message> parseWire(const Bytes& wire, const std::vector<Chunk>& chunks,
                               size_t& strayBytes) {
  std::vector<Message> messages;
  int running = 0;
  size_t need = 0;
  bool sysex = false;
  Bytes current;
  size_t chunk = 0;
  for (size_t i = 0; i < wire.size(); ++i) {
    while (chunks[chunk].end <= i) ++chunk;
    double time = chunks[chunk].timeMs;
    int byte = wire[i];
    if (byte >= 0xF8) {
      messages.push_back({{static_cast<uint8_t>(byte)}, time});
      continue;
    }
    if (byte & 0x80) {
      if (sysex) {
        sysex = false;
        if (byte == 0xF7) {
          current.push_back(static_cast<uint8_t>(byte));
          messages.push_back({current, time});
          current.clear();
          continue;
        }
        messages.push_back({current, time});  // cut short by another status
        current.clear();
      }
      if (!current.empty()) strayBytes += current.size();  // cut short by a new status
      current.assign(1, static_cast<uint8_t>(byte));
      if (byte == 0xF0) {
        sysex = true;
        running = 0;
        continue;
      }
      running = byte < 0xF0 ? byte : 0;
      need = static_cast<size_t>(dataBytesOf(byte));
      if (need == 0) {
        messages.push_back({current, time});
        current.clear();
      }
      continue;
    }
    if (sysex) {
      current.push_back(static_cast<uint8_t>(byte));
      continue;
    }
    if (current.empty()) {
      if (running == 0) {
        ++strayBytes;
        continue;
      }
      current.assign(1, static_cast<uint8_t>(running));
      need = static_cast<size_t>(dataBytesOf(running));
    }
    current.push_back(static_cast<uint8_t>(byte));
    if (current.size() == need + 1) {
      messages.push_back({current, time});
      current.clear();
    }
  }
  return messages;
}

struct Match {
  size_t matched = 0;
  size_t unexpected = 0;
  size_t outOfOrder = 0;          // found beyond the group of its tick
  size_t tail = 0;                // after the whole song: the stop and the reset
  int firstNote = -1;             // index into expected of the first note-on on the wire
  std::vector<size_t> wireOrder;  // expected indices in the order they arrived
};

// Matches wire messages to the song in order. Messages of one tick may come in any order
// between tracks, so a message is looked for among the unmatched ones of the current tick
// first, then a little further on.
Match matchWire(std::vector<Expected>& expected, const std::vector<Message>& wire, size_t skip) {
  Match m;
  std::vector<bool> done(expected.size(), false);
  size_t next = 0;
  constexpr size_t lookahead = 256;
  for (size_t w = skip; w < wire.size(); ++w) {
    const Message& message = wire[w];
    if (next == expected.size()) {
      ++m.tail;
      continue;
    }
    size_t found = expected.size();
    for (size_t i = next; i < expected.size() && i < next + lookahead; ++i) {
      if (!done[i] && expected[i].bytes == message.bytes) {
        found = i;
        break;
      }
    }
    if (found == expected.size()) {
      ++m.unexpected;
      continue;
    }
    if (expected[found].tick != expected[next].tick) ++m.outOfOrder;
    done[found] = true;
    expected[found].arrivalMs = message.timeMs;
    expected[found].wireIndex = static_cast<long>(w - skip);
    ++m.matched;
    m.wireOrder.push_back(found);
    if (m.firstNote < 0 && (message.bytes[0] & 0xF0) == 0x90 && message.bytes[2] != 0)
      m.firstNote = static_cast<int>(found);
    while (next < expected.size() && done[next]) ++next;
  }
  return m;
}

struct Stats {
  size_t count = 0;
  double median = 0, p99 = 0, max = 0;
  size_t over1 = 0, over2 = 0, over5 = 0;  // messages off by more than 1, 2, 5 ms
  double centredP99 = 0, centredMax = 0;   // with the median error as the offset instead
  double meanFirst = 0, meanLast = 0;      // signed, first and last 10 s
  size_t worst = 0;
};

// Error of each timed message against a schedule, aligned on the first note-on.
Stats errorStats(const std::vector<Expected>& expected, const std::vector<size_t>& timed,
                 size_t first, double Expected::*schedule) {
  Stats s;
  double offset = expected[first].arrivalMs - expected[first].*schedule;
  std::vector<double> magnitude, signedErrors;
  double endMs = expected[timed.back()].idealMs;
  double startMs = expected[first].idealMs;
  double sumFirst = 0, sumLast = 0;
  size_t nFirst = 0, nLast = 0;
  for (size_t i : timed) {
    const Expected& e = expected[i];
    double error = e.arrivalMs - e.*schedule - offset;
    magnitude.push_back(std::fabs(error));
    signedErrors.push_back(error);
    s.over1 += std::fabs(error) > 1;
    s.over2 += std::fabs(error) > 2;
    s.over5 += std::fabs(error) > 5;
    if (std::fabs(error) > s.max) {
      s.max = std::fabs(error);
      s.worst = i;
    }
    if (e.idealMs < startMs + 10000) {
      sumFirst += error;
      ++nFirst;
    }
    if (e.idealMs > endMs - 10000) {
      sumLast += error;
      ++nLast;
    }
  }
  std::sort(magnitude.begin(), magnitude.end());
  s.count = magnitude.size();
  s.median = magnitude[s.count / 2];
  size_t p99 = static_cast<size_t>(std::ceil(0.99 * static_cast<double>(s.count))) - 1;
  s.p99 = magnitude[std::min(p99, s.count - 1)];
  std::sort(signedErrors.begin(), signedErrors.end());
  double median = signedErrors[s.count / 2];
  for (double& e : signedErrors) e = std::fabs(e - median);
  std::sort(signedErrors.begin(), signedErrors.end());
  s.centredP99 = signedErrors[std::min(p99, s.count - 1)];
  s.centredMax = signedErrors.back();
  s.meanFirst = nFirst ? sumFirst / static_cast<double>(nFirst) : 0;
  s.meanLast = nLast ? sumLast / static_cast<double>(nLast) : 0;
  return s;
}

void printStats(const char* title, const Stats& s, const Expected& worst, double startMs) {
  std::printf("%s\n", title);
  std::printf("  |error| median %.3f ms, p99 %.3f ms, max %.3f ms (at %.3f s)\n", s.median, s.p99,
              s.max, (worst.idealMs - startMs) / 1000.0);
  std::printf("  off by more than 1 ms: %zu, 2 ms: %zu, 5 ms: %zu\n", s.over1, s.over2, s.over5);
  std::printf("  centred on the median error instead of the first note: p99 %.3f ms, max %.3f ms\n",
              s.centredP99, s.centredMax);
  std::printf("  signed error, mean over the first 10 s %+.3f ms, over the last 10 s %+.3f ms\n",
              s.meanFirst, s.meanLast);
}

void printThreads(const char* title, const std::map<int, ThreadInfo>& before,
                  const std::map<int, ThreadInfo>& after, double seconds) {
  std::printf("%s\n", title);
  for (const auto& [tid, info] : after) {
    auto it = before.find(tid);
    int64_t used = info.cpuNs - (it == before.end() ? 0 : it->second.cpuNs);
    std::printf("  thread %d (%s): %s priority %d nice %d, %.3f s CPU = %.3f %% of one core\n", tid,
                info.name.c_str(), policyName(info.policy), info.priority, info.nice,
                static_cast<double>(used) / 1e9, 100.0 * static_cast<double>(used) / 1e9 / seconds);
  }
}

// Whole-machine CPU counters (clock ticks): busy (user, nice, system, irq, softirq), steal and
// all.
struct MachineCpu {
  double busy = 0, steal = 0, total = 0;
};

MachineCpu machineCpu() {
  std::istringstream line(readFirstLine("/proc/stat"));
  std::string name;
  double v[8] = {};
  line >> name;
  for (double& x : v) line >> x;
  MachineCpu cpu;
  cpu.busy = v[0] + v[1] + v[2] + v[5] + v[6];
  cpu.steal = v[7];
  for (double x : v) cpu.total += x;
  return cpu;
}

std::string tailOf(const std::string& path, size_t lines) {
  std::ifstream in(path);
  std::vector<std::string> all;
  for (std::string line; std::getline(in, line);) all.push_back(line);
  std::string out;
  for (size_t i = all.size() > lines ? all.size() - lines : 0; i < all.size(); ++i)
    out += "  | " + all[i] + "\n";
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: %s [--seconds N (>= 5, default 180)] [--rate MSG_PER_S (default 1100)]\n"
                 "          [--no-load] [--log FILE] [--dump FILE]\n"
                 "          [path/to/tessaro (default ./build/tessaro)]\n",
                 argv[0]);
    return 2;
  }
  if (access(options.binary.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "%s: %s\n", options.binary.c_str(), std::strerror(errno));
    return 2;
  }

  Song song = buildSong(options);
  tessaro::testing::TempFile file(tessaro::testing::smf(1, division, song.tracks),
                                  "timing-bench.mid");
  std::string log = options.log.empty() ? file.dir() + "/tessaro.log" : options.log;

  size_t songBytes = 0;
  for (const Expected& e : song.expected) songBytes += e.bytes.size();
  double songSeconds = (song.expected.back().idealMs - song.expected.front().idealMs) / 1000.0;
  double rate = static_cast<double>(song.expected.size()) / songSeconds;
  size_t tempoChanges = 0;
  for (const TempoChange& c : song.tempo.changes()) tempoChanges += c.tick <= song.endTick;
  std::printf("song: %.1f s, %d channels, division %d, %zu tempo changes, %zu messages\n",
              songSeconds, channels, division, tempoChanges, song.expected.size());
  std::printf("  %.1f messages/s, %.0f bytes/s: %.0f %% of a real 38400-baud line\n", rate,
              static_cast<double>(songBytes) / songSeconds,
              100.0 * static_cast<double>(songBytes) / songSeconds / lineBytesPerSecond);

  termios raw{};
  cfmakeraw(&raw);
  int master = -1, slave = -1;
  char slaveName[256] = {};
  if (openpty(&master, &slave, slaveName, &raw, nullptr) != 0) {
    std::perror("openpty");
    return 1;
  }
  // The slave stays open here as well, so that the master never sees a hang-up while the
  // player opens or closes its side; the end of the run is the player's exit.
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(slave, F_SETFD, FD_CLOEXEC);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

  pid_t load = options.load ? startLoad() : -1;
  pid_t player = startPlayer(options, slaveName, file.path(), log);
  if (player < 0 || (options.load && load < 0)) {
    std::perror("fork");
    return 1;
  }
  // The reader runs real-time too, below the player thread, so that what it measures is the
  // player and not its own wake-ups behind the load.
  sched_param readerParam{};
  readerParam.sched_priority = 50;
  bool readerRealTime = sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &readerParam) == 0;

  const size_t songWireBytes = startVolumes * 3 + songBytes;
  const int64_t deadlineNs = monotonicNs() + static_cast<int64_t>((songSeconds + 60) * 1e9);
  Bytes wire;
  wire.reserve(songWireBytes + 4096);
  std::vector<Chunk> chunks;
  chunks.reserve(song.expected.size() + 1024);
  std::map<int, ThreadInfo> threadsAtStart, threadsAtEnd;
  MachineCpu machineAtStart, machineAtEnd;
  int64_t startNs = 0, endNs = 0;
  rusage usage{};
  int status = 0;
  bool exited = false, timedOut = false;
  uint8_t buffer[4096];
  int64_t lastCheck = monotonicNs();
  while (!exited) {
    pollfd fd{master, POLLIN, 0};
    int ready = poll(&fd, 1, 100);
    int64_t now = monotonicNs();
    if (ready > 0) {
      for (;;) {
        ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;
        if (wire.empty()) {
          startNs = now;
          threadsAtStart = threadsOf(player);
          machineAtStart = machineCpu();
        }
        wire.insert(wire.end(), buffer, buffer + n);
        chunks.push_back({static_cast<double>(now) / 1e6, wire.size()});
        if (endNs == 0 && wire.size() >= songWireBytes) {
          endNs = now;
          threadsAtEnd = threadsOf(player);
          machineAtEnd = machineCpu();
        }
        now = monotonicNs();
      }
    }
    if (ready <= 0 || now - lastCheck > 100'000'000) {
      lastCheck = now;
      if (wait4(player, &status, WNOHANG, &usage) == player) exited = true;
      if (!exited && now > deadlineNs) {
        kill(player, SIGKILL);
        wait4(player, &status, 0, &usage);
        exited = timedOut = true;
      }
    }
  }
  // What the player wrote just before it ended.
  for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) {
    wire.insert(wire.end(), buffer, buffer + n);
    chunks.push_back({static_cast<double>(monotonicNs()) / 1e6, wire.size()});
  }
  if (load > 0) {
    kill(load, SIGKILL);
    waitpid(load, nullptr, 0);
  }
  close(master);
  close(slave);

  bool broken = false;
  if (timedOut) {
    std::printf("the player did not finish in time: killed\n");
    broken = true;
  } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::printf("the player ended with status 0x%x\n", status);
    broken = true;
  }

  size_t strayBytes = 0;
  std::vector<Message> messages =
      wire.empty() ? std::vector<Message>{} : parseWire(wire, chunks, strayBytes);
  size_t volumes = 0;
  while (volumes < startVolumes && volumes < messages.size() &&
         (messages[volumes].bytes[0] & 0xF0) == 0xB0 && messages[volumes].bytes[1] == 7)
    ++volumes;
  Match match = matchWire(song.expected, messages, volumes);
  size_t missing = song.expected.size() - match.matched;
  std::printf(
      "wire: %zu bytes in %zu reads, %zu messages: %zu start volumes, %zu song, "
      "%zu after the song\n",
      wire.size(), chunks.size(), messages.size(), volumes, match.matched, match.tail);
  if (volumes != startVolumes || missing != 0 || match.unexpected != 0 || strayBytes != 0 ||
      match.firstNote < 0) {
    std::printf(
        "MISMATCH: %zu start volumes, %zu song messages missing, %zu unexpected, "
        "%zu stray bytes\n",
        volumes, missing, match.unexpected, strayBytes);
    broken = true;
  }
  if (match.outOfOrder != 0)
    std::printf("  %zu messages arrived ahead of an earlier tick's\n", match.outOfOrder);

  if (match.firstNote >= 0 && match.matched > 1) {
    // Timed: every song message from the first note-on on; the set-up before it is spaced on
    // purpose.
    size_t first = static_cast<size_t>(match.firstNote);
    std::vector<size_t> timed;
    bool on = false;
    for (size_t i : match.wireOrder) {
      on = on || i == first;
      if (on) timed.push_back(i);
    }
    double startMs = song.expected[first].idealMs;
    std::printf("timed: %zu messages over %.1f s of music\n", timed.size(),
                (song.expected[timed.back()].idealMs - startMs) / 1000.0);
    Stats exact = errorStats(song.expected, timed, first, &Expected::idealMs);
    printStats("error against the exact tempo map:", exact, song.expected[exact.worst], startMs);
    Stats model = errorStats(song.expected, timed, first, &Expected::modelMs);
    printStats("error against whole us per tick, whole ms (rounded tempo schedule):", model,
               song.expected[model.worst], startMs);
    double drift = 0, driftAt = 0;
    for (size_t i : timed) {
      double d = song.expected[i].driftMs - song.expected[first].driftMs;
      if (std::fabs(d) > std::fabs(drift)) {
        drift = d;
        driftAt = (song.expected[i].idealMs - startMs) / 1000.0;
      }
    }
    std::printf(
        "  whole us per tick alone parts from the tempo map by up to %+.3f ms (at %.1f s),"
        " %+.3f ms at the end\n",
        drift, driftAt, song.expected[timed.back()].driftMs - song.expected[first].driftMs);

    double user = static_cast<double>(usage.ru_utime.tv_sec) +
                  static_cast<double>(usage.ru_utime.tv_usec) / 1e6;
    double system = static_cast<double>(usage.ru_stime.tv_sec) +
                    static_cast<double>(usage.ru_stime.tv_usec) / 1e6;
    double cpu = user + system;
    std::printf(
        "cpu: %.3f s (user %.3f s, system %.3f s) for the whole run over %.1f s of music"
        " = %.3f %% of one core\n"
        "  (includes start-up, the stop and the main thread's 25 ms polling); %ld sleeps"
        " ended, %.0f a second of music\n",
        cpu, user, system, songSeconds, 100.0 * cpu / songSeconds, usage.ru_nvcsw,
        static_cast<double>(usage.ru_nvcsw) / songSeconds);
    if (endNs > startNs && !threadsAtEnd.empty())
      printThreads("  while the song played, by thread:", threadsAtStart, threadsAtEnd,
                   static_cast<double>(endNs - startNs) / 1e9);
    double all = machineAtEnd.total - machineAtStart.total;
    if (all > 0)
      std::printf(
          "machine: %ld CPUs, %.0f %% busy while the song played (the load process "
          "alone is %.0f %%), %.1f %% stolen; load average now %s\n",
          sysconf(_SC_NPROCESSORS_ONLN), 100.0 * (machineAtEnd.busy - machineAtStart.busy) / all,
          options.load ? 100.0 / static_cast<double>(sysconf(_SC_NPROCESSORS_ONLN)) : 0.0,
          100.0 * (machineAtEnd.steal - machineAtStart.steal) / all,
          readFirstLine("/proc/loadavg").c_str());
    std::printf("reader: %s; load: %s\n",
                readerRealTime ? "SCHED_FIFO priority 50" : "normal scheduling",
                options.load ? "one spinning process" : "none");
    std::printf("targets: p99 <= 0.5 ms %s, max <= 2 ms %s, CPU <= 0.5 %% %s\n",
                exact.p99 <= 0.5 ? "met" : "MISSED", exact.max <= 2.0 ? "met" : "MISSED",
                100.0 * cpu / songSeconds <= 0.5 ? "met" : "MISSED");
  }
  if (!options.dump.empty()) {
    if (std::FILE* out = std::fopen(options.dump.c_str(), "w")) {
      std::fprintf(out, "tick,track,wire_index,ideal_ms,rounded_ms,arrival_ms\n");
      for (const Expected& e : song.expected)
        std::fprintf(out, "%lld,%d,%ld,%.4f,%.0f,%.4f\n", static_cast<long long>(e.tick), e.track,
                     e.wireIndex, e.idealMs, e.modelMs, e.arrivalMs);
      std::fclose(out);
    }
  }
  if (broken) std::printf("player output (last lines):\n%s", tailOf(log, 15).c_str());
  if (options.log.empty()) std::remove(log.c_str());
  return broken ? 1 : 0;
}
