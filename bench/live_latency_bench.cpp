// Live latency benchmark: what live translation adds to the time a message takes from a MIDI
// input to the module. Two routes run side by side in one run, over pseudo-terminal pairs:
//
//   copy:  writer -> pty -> a plain byte copier (poll, read, write) -> pty -> reader
//   live:  writer -> pty -> tessaro -i PTY /com1 /xg                -> pty -> reader
//
// The writer sends each message to both routes, the two routes taking turns half a gap apart
// (so that neither waits for the other), at random intervals; the reader time-stamps each
// message's arrival on both. The copy route is the floor (what two pseudo-terminal hops and a
// process's wake-up cost). The figures: each route's median, p99 and max; what the live route
// adds at the median and at p99 (its quantile less the copy's); and the same taken message by
// message. --calibrate puts a second copier in the program's place: what the method itself
// shows between two equal routes.
//
// Usage: live_latency_bench [--count N] [--mean-ms N] [--calibrate] [path/to/tessaro]
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

struct Options {
  int count = 3000;        // messages sent on each route
  double meanMs = 8.0;     // mean gap between messages (uniform from 0.2 to 1.8 times it)
  bool calibrate = false;  // a second copier in the program's place: what the method itself adds
  std::string binary = "./build/tessaro";
};

bool parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if ((arg == "--count" || arg == "--mean-ms") && i + 1 < argc) {
      double value = std::strtod(argv[++i], nullptr);
      if (value <= 0) return false;
      if (arg == "--count") options.count = std::min(static_cast<int>(value), 16000);
      if (arg == "--mean-ms") options.meanMs = value;
    } else if (arg == "--calibrate") {
      options.calibrate = true;
    } else if (!arg.empty() && arg[0] != '-') {
      options.binary = arg;
    } else {
      return false;
    }
  }
  return true;
}

int64_t nowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// A raw pseudo-terminal pair: the program (or the copier) opens the slave by its path.
struct Pty {
  int master = -1;
  int slave = -1;
  std::string path;
  bool open() {
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return false;
    termios mode{};
    tcgetattr(slave, &mode);
    cfmakeraw(&mode);
    tcsetattr(slave, TCSANOW, &mode);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    path = ttyname(slave);
    return true;
  }
};

// The scheduling the program's live thread asks for, where permitted.
bool takeRealTime(int below) {
  sched_param param{};
  param.sched_priority = sched_get_priority_max(SCHED_FIFO) - below;
  return sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0;
}

// The floor: a process that copies bytes from one line to the other as they come. It keeps
// only the two lines it copies between open.
pid_t startCopier(const Pty& in, const Pty& out, const std::vector<int>& others) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  for (int fd : others) ::close(fd);
  takeRealTime(1);
  uint8_t buffer[1024];
  for (;;) {
    pollfd fd{in.slave, POLLIN, 0};
    if (poll(&fd, 1, -1) < 0 && errno != EINTR) _exit(1);
    ssize_t n = ::read(in.slave, buffer, sizeof buffer);
    if (n <= 0) _exit(0);
    if (::write(out.slave, buffer, static_cast<size_t>(n)) != n) _exit(1);
  }
}

pid_t startProgram(const Options& options, const Pty& in, const Pty& out) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    if (!entry.starts_with("TESSARO_") && !entry.starts_with("DISPLAY=")) env.push_back(entry);
  }
  env.push_back("TESSARO_COM1=" + out.path);
  env.push_back("XDG_CONFIG_HOME=/nonexistent");
  std::vector<std::string> args{options.binary, "-i", in.path, "/com1", "/xg"};
  auto pointers = [](std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (std::string& s : strings) p.push_back(s.data());
    p.push_back(nullptr);
    return p;
  };
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  std::vector<char*> argv = pointers(args), envp = pointers(env);
  if (posix_spawn(&pid, options.binary.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
    pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Arrival times of the benchmark's messages on one route: pitch bends whose 14-bit value is
// the message's number. Everything else on the line (the program's own start and stop) is
// passed over.
struct Arrivals {
  std::vector<int64_t> at;
  int status = 0;
  uint8_t data[2] = {};
  int have = 0;
  size_t bytes = 0;

  explicit Arrivals(int count) : at(static_cast<size_t>(count), -1) {}
  void take(const uint8_t* b, size_t n, int64_t time) {
    bytes += n;
    for (size_t i = 0; i < n; ++i) {
      if (b[i] >= 0xF8) continue;
      if (b[i] & 0x80) {
        status = b[i];
        have = 0;
        continue;
      }
      if (status != 0xE0) continue;
      data[have++] = b[i];
      if (have < 2) continue;
      have = 0;
      size_t number = static_cast<size_t>(data[0] | data[1] << 7);
      if (number < at.size() && at[number] < 0) at[number] = time;
    }
  }
};

void readLoop(int copyOut, int liveOut, Arrivals& copy, Arrivals& live, std::atomic<bool>& stop) {
  takeRealTime(2);
  uint8_t buffer[4096];
  while (!stop) {
    pollfd fds[2] = {{copyOut, POLLIN, 0}, {liveOut, POLLIN, 0}};
    if (poll(fds, 2, 20) <= 0) continue;
    int64_t time = nowNs();
    for (int k = 0; k < 2; ++k) {
      if ((fds[k].revents & POLLIN) == 0) continue;
      ssize_t n = ::read(fds[k].fd, buffer, sizeof buffer);
      if (n > 0) (k == 0 ? copy : live).take(buffer, static_cast<size_t>(n), time);
    }
  }
}

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t index = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

bool waitFor(const std::function<bool()>& done, int seconds) {
  for (int i = 0; i < seconds * 100; ++i) {
    if (done()) return true;
    usleep(10000);
  }
  return done();
}

void report(const char* what, const std::vector<double>& ms) {
  std::printf("  %-28s median %7.3f ms   p99 %7.3f ms   max %7.3f ms\n", what, percentile(ms, 0.5),
              percentile(ms, 0.99), percentile(ms, 1.0));
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: live_latency_bench [--count N] [--mean-ms N] [--calibrate] [tessaro]\n");
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  Pty copyIn, copyOut, liveIn, liveOut;
  if (!copyIn.open() || !copyOut.open() || !liveIn.open() || !liveOut.open()) {
    std::perror("openpty");
    return 1;
  }
  std::printf("load before: %s\n", loadAverage().c_str());
  pid_t copier = startCopier(
      copyIn, copyOut,
      {copyIn.master, copyOut.master, liveIn.master, liveIn.slave, liveOut.master, liveOut.slave});
  pid_t program = options.calibrate ? startCopier(liveIn, liveOut,
                                                  {copyIn.master, copyIn.slave, copyOut.master,
                                                   copyOut.slave, liveIn.master, liveOut.master})
                                    : startProgram(options, liveIn, liveOut);
  // The copier in the program's place has no start of its own to wait for.
  if (options.calibrate) {
    const uint8_t start[48] = {0xB0, 7, 100};
    (void)!::write(liveIn.master, start, sizeof start);
  }
  if (copier < 0 || program < 0) {
    std::fprintf(stderr, "cannot start the copier or %s\n", options.binary.c_str());
    return 1;
  }
  Arrivals copy(options.count), live(options.count);
  std::atomic<bool> stop{false};
  std::thread reader(readLoop, copyOut.master, liveOut.master, std::ref(copy), std::ref(live),
                     std::ref(stop));
  // The channel volumes every session starts with say the program reads its input.
  bool ready = waitFor([&] { return live.bytes >= 48; }, 30);

  std::vector<int64_t> sentCopy(static_cast<size_t>(options.count)),
      sentLive(static_cast<size_t>(options.count));
  std::mt19937 random(20);
  std::uniform_real_distribution<double> gap(0.2 * options.meanMs, 1.8 * options.meanMs);
  bool writerRealTime = takeRealTime(3);
  int64_t next = nowNs();
  for (int i = 0; ready && i < options.count; ++i) {
    const uint8_t message[3] = {0xE0, static_cast<uint8_t>(i & 0x7F),
                                static_cast<uint8_t>((i >> 7) & 0x7F)};
    // The routes take turns, each message half a gap after the other route's, so that neither
    // waits for the other; which goes first alternates.
    const size_t n = static_cast<size_t>(i);
    for (int k = 0; k < 2; ++k) {
      next += static_cast<int64_t>(gap(random) * 0.5e6);
      timespec due{static_cast<time_t>(next / 1000000000), static_cast<long>(next % 1000000000)};
      clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr);
      bool toCopy = (i + k) % 2 == 0;
      (toCopy ? sentCopy : sentLive)[n] = nowNs();
      (void)!::write(toCopy ? copyIn.master : liveIn.master, message, sizeof message);
    }
  }
  usleep(500000);
  ::close(liveIn.master);
  ::close(copyIn.master);
  int status = 0;
  bool ended = waitFor([&] { return waitpid(program, &status, WNOHANG) == program; }, 30);
  if (!ended) kill(program, SIGKILL), waitpid(program, &status, 0);
  kill(copier, SIGTERM);
  waitpid(copier, nullptr, 0);
  stop = true;
  reader.join();

  std::vector<double> copyMs, liveMs, addedMs;
  int missing = 0;
  for (size_t i = 0; i < static_cast<size_t>(options.count); ++i) {
    if (copy.at[i] < 0 || live.at[i] < 0) {
      ++missing;
      continue;
    }
    double c = static_cast<double>(copy.at[i] - sentCopy[i]) / 1e6;
    double l = static_cast<double>(live.at[i] - sentLive[i]) / 1e6;
    copyMs.push_back(c);
    liveMs.push_back(l);
    addedMs.push_back(l - c);
  }
  std::printf("load after:  %s\n", loadAverage().c_str());
  std::printf("%d messages at a mean gap of %.1f ms (writer %s); %d missing\n", options.count,
              options.meanMs, writerRealTime ? "SCHED_FIFO" : "normal scheduling", missing);
  report("copy route (floor)", copyMs);
  report(options.calibrate ? "second copy route" : "live route", liveMs);
  std::printf("  added over the copy:         median %7.3f ms   p99 %7.3f ms\n",
              percentile(liveMs, 0.5) - percentile(copyMs, 0.5),
              percentile(liveMs, 0.99) - percentile(copyMs, 0.99));
  report("added, message by message", addedMs);
  std::printf("targets: added median <= 0.2 ms, p99 <= 1 ms\n");
  bool ok = ready && ended && missing == 0;
  if (!ok) std::printf("the run did not carry every message (ready %d, ended %d)\n", ready, ended);
  return ok ? 0 : 1;
}
