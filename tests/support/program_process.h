// The built program run as a user runs it: COM1 is a pseudo-terminal whose other end the test
// reads (as a module on the serial MIDI input would), the console output and the errors are
// captured through pipes, and standard input is a pipe the test writes to or a terminal it types
// on. The program runs in a session of its own, without the test's terminal, so that it can
// only take keys from the terminal the test gives it. Every wait is bounded: a program that
// hangs is killed and the test fails instead of hanging.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace tessaro::testing {

// How the program is started: the Linux build itself, or another program in front of it (the
// Windows build under Wine), which is told the pseudo-terminal's path before the start.
struct ProgramLaunch {
  std::string program = TESSARO_BINARY;
  std::vector<std::string> leadingWords;  // words between the program and the caller's
  std::function<bool(const std::string& ptyPath)> beforeStart;
  std::string directory;  // the program's working directory; empty: the test's
};

class ProgramProcess {
 public:
  using Bytes = std::vector<uint8_t>;
  using Clock = std::chrono::steady_clock;

  // What standard input is: a pipe the test writes to, a terminal the test types on, or a pipe
  // while the program's controlling terminal is one the test types on (typeOnTerminal).
  enum class Keys { pipe, terminal, controllingTerminal };

  using Launch = ProgramLaunch;

  // Starts the program with the given words after its name. com1: the device TESSARO_COM1
  // names; empty for the pseudo-terminal. environment: further NAME=value entries (the
  // caller's own TESSARO_ variables are never passed on).
  explicit ProgramProcess(const std::vector<std::string>& words, const std::string& com1 = "",
                          Keys keys = Keys::pipe, const std::vector<std::string>& environment = {},
                          const Launch& launch = Launch{}) {
    // A key written after the program has gone must fail, not end the test.
    signal(SIGPIPE, SIG_IGN);
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
      fail("openpty");
      return;
    }
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    char name[256] = {};
    if (ttyname_r(slave_, name, sizeof name) != 0) {
      fail("ttyname_r");
      return;
    }
    ptyPath_ = name;
    if (launch.beforeStart && !launch.beforeStart(ptyPath_)) {
      fail("preparing the launch");
      return;
    }

    int input[2];
    int output[2];
    int errors[2];
    if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0 ||
        pipe2(errors, O_CLOEXEC) != 0) {
      fail("pipe2");
      return;
    }
    errors_ = errors[0];
    std::string controllingPath;
    if (keys == Keys::controllingTerminal) {
      int slave = -1;
      char path[256] = {};
      if (openpty(&terminal_, &slave, nullptr, nullptr, nullptr) != 0 ||
          ttyname_r(slave, path, sizeof path) != 0) {
        fail("openpty");
        return;
      }
      ::close(slave);
      fcntl(terminal_, F_SETFD, FD_CLOEXEC);
      controllingPath = path;
    }
    if (keys == Keys::terminal) {
      // A terminal on standard input: typing on its master side is a user at the keyboard.
      ::close(input[0]);
      ::close(input[1]);
      if (openpty(&input[1], &input[0], nullptr, nullptr, nullptr) != 0) {
        fail("openpty");
        return;
      }
      fcntl(input[0], F_SETFD, FD_CLOEXEC);
      fcntl(input[1], F_SETFD, FD_CLOEXEC);
    }
    keys_ = input[1];
    console_ = output[0];

    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      std::string entry = *e;
      bool replaced = entry.starts_with("TESSARO_") || entry.starts_with("LC_ALL=") ||
                      entry.starts_with("LC_MESSAGES=") || entry.starts_with("LANG=") ||
                      entry.starts_with("XDG_CONFIG_HOME=") ||
                      entry.starts_with("DISPLAY=");  // a window only where a test asks
      if (!replaced) env.push_back(entry);
    }
    // An empty settings place of its own: the user's settings must not change the run.
    char config[] = "/tmp/tessaro-config-XXXXXX";
    if (mkdtemp(config) == nullptr) {
      fail("mkdtemp");
      return;
    }
    configDir_ = config;
    env.push_back("XDG_CONFIG_HOME=" + configDir_);
    env.push_back("TESSARO_COM1=" + (com1.empty() ? ptyPath_ : com1));
    env.push_back("LC_ALL=C");
    env.insert(env.end(), environment.begin(), environment.end());
    std::vector<std::string> args{launch.program};
    args.insert(args.end(), launch.leadingWords.begin(), launch.leadingWords.end());
    args.insert(args.end(), words.begin(), words.end());

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    // The errors are passed on to the test's own error stream as they come, so that a sanitizer
    // report still shows in the test log.
    posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
    // Opened by the new session's leader, the terminal becomes its controlling terminal, with
    // the program in the foreground.
    if (!controllingPath.empty())
      posix_spawn_file_actions_addopen(&actions, 3, controllingPath.c_str(), O_RDWR, 0);
    if (!launch.directory.empty())
      posix_spawn_file_actions_addchdir_np(&actions, launch.directory.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // The stop signals start as a terminal gives them, whatever the test runner was started
    // with (a runner under nohup would otherwise pass SIGHUP on ignored).
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, signal);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF);
    started_ = Clock::now();
    int error = posix_spawnp(&pid_, launch.program.c_str(), &actions, &attributes,
                             pointers(args).data(), pointers(env).data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(input[0]);
    ::close(output[1]);
    ::close(errors[1]);
    if (error != 0) {
      pid_ = -1;
      errno = error;
      fail("posix_spawn");
      return;
    }
    drain_ = std::thread([this] { drainLoop(); });
  }

  ~ProgramProcess() {
    if (pid_ > 0) finish(std::chrono::seconds(0));
    stopDrain();
    for (int fd : {keys_, console_, errors_, terminal_, master_, slave_})
      if (fd >= 0) ::close(fd);
    if (!configDir_.empty()) rmdir(configDir_.c_str());
  }

  ProgramProcess(const ProgramProcess&) = delete;
  ProgramProcess& operator=(const ProgramProcess&) = delete;

  const std::string& ptyPath() const { return ptyPath_; }
  // Why the program could not be started; empty when it was.
  const std::string& setupError() const { return setupError_; }

  void pressKey(uint8_t key) {
    if (keys_ >= 0) (void)!::write(keys_, &key, 1);
  }
  // A key typed on the controlling terminal (Keys::controllingTerminal).
  void typeOnTerminal(uint8_t key) {
    if (terminal_ >= 0) (void)!::write(terminal_, &key, 1);
  }
  // Ends the program's input, as the end of a piped file would.
  void closeInput() {
    if (keys_ >= 0) ::close(keys_);
    keys_ = -1;
  }

  // Sends the program a signal, as Ctrl+C on its terminal (SIGINT) or a kill would.
  void sendSignal(int signal) {
    if (pid_ > 0) kill(pid_, signal);
  }
  // The mode of the terminal the keys come from (Keys::terminal); false when there is none.
  bool keyTerminalMode(termios& mode) const { return tcgetattr(keys_, &mode) == 0; }

  // Closes the module's end of COM1, as a module unplugged mid-song: the program's writes to
  // the line fail from then on. Returns once it is closed.
  void closeWire() {
    std::unique_lock lock(mutex_);
    closeWireRequested_ = true;
    changed_.wait_for(lock, std::chrono::seconds(5), [&] { return master_ < 0; });
  }

  // Waits until the bytes received so far satisfy done; false when the limit passed first.
  bool waitForWire(const std::function<bool(const Bytes&)>& done, std::chrono::seconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return done(wire_); });
  }

  // Waits for the program to end, killing it once the limit has passed, and then collects the
  // last bytes. The exit code (0..255), or -1 when it was killed or ended by a signal (which
  // endedBySignal then names).
  int finish(std::chrono::seconds limit = std::chrono::seconds(60)) {
    if (pid_ <= 0) return -1;
    const auto giveUp = Clock::now() + limit;
    int status = 0;
    for (;;) {
      pid_t done = waitpid(pid_, &status, WNOHANG);
      if (done == pid_) break;
      if (done < 0 && errno != EINTR) break;
      if (Clock::now() >= giveUp) {
        timedOut_ = true;
        kill(pid_, SIGKILL);
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
    ranFor_ = Clock::now() - started_;
    stopDrain();
    if (!timedOut_ && WIFSIGNALED(status)) signal_ = WTERMSIG(status);
    if (timedOut_ || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }

  bool timedOut() const { return timedOut_; }
  // The signal that ended the program (not the test's kill after a time-out); 0 for none.
  int endedBySignal() const { return signal_; }
  double seconds() const { return std::chrono::duration<double>(ranFor_).count(); }
  Bytes wire() const {
    std::lock_guard lock(mutex_);
    return wire_;
  }
  std::string out() const {
    std::lock_guard lock(mutex_);
    return out_;
  }
  // What the program wrote to standard error.
  std::string err() const {
    std::lock_guard lock(mutex_);
    return err_;
  }
  // Waits until standard output and standard error so far satisfy done; false when the limit
  // passed first.
  bool waitForText(const std::function<bool(const std::string& out, const std::string& err)>& done,
                   std::chrono::seconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return done(out_, err_); });
  }

 private:
  static std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
  }

  void fail(const char* what) { setupError_ = std::string(what) + ": " + std::strerror(errno); }

  // Keeps reading both the pseudo-terminal and the console pipe, so that the program never
  // blocks on a full buffer. Once asked to stop it still reads until the line has been quiet
  // for a while: bytes written just before the exit may reach this end a little later.
  void drainLoop() {
    bool consoleOpen = true;
    bool errorsOpen = true;
    int quietPolls = 0;
    for (;;) {
      {
        // Closed here, so that the line is never closed while it is being read.
        std::lock_guard lock(mutex_);
        if (closeWireRequested_ && master_ >= 0) {
          ::close(master_);
          master_ = -1;
        }
      }
      pollfd fds[3] = {{master_, POLLIN, 0},
                       {consoleOpen ? console_ : -1, POLLIN, 0},
                       {errorsOpen ? errors_ : -1, POLLIN, 0}};
      int ready = poll(fds, 3, 20);
      if (ready > 0 && errorsOpen && (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
        errorsOpen = passErrorsOn();
      bool gotWire = false;
      uint8_t buffer[4096];
      if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
        ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
          std::lock_guard lock(mutex_);
          wire_.insert(wire_.end(), buffer, buffer + n);
          gotWire = true;
        }
      }
      if (ready > 0 && consoleOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        ssize_t n = ::read(console_, buffer, sizeof buffer);
        if (n > 0) {
          std::lock_guard lock(mutex_);
          out_.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
          consoleOpen = false;
        }
      }
      changed_.notify_all();
      {
        std::lock_guard lock(mutex_);
        if (!stopping_) continue;
      }
      quietPolls = gotWire ? 0 : quietPolls + 1;
      if (quietPolls >= 10 && !consoleOpen && !errorsOpen) return;
      if (quietPolls >= 100) return;  // a console pipe kept open by a stray child
    }
  }

  // Keeps what came on standard error and passes it on to the test's; false at its end.
  bool passErrorsOn() {
    char buffer[4096];
    ssize_t n = ::read(errors_, buffer, sizeof buffer);
    if (n <= 0) return n < 0 && errno == EINTR;
    (void)!::write(STDERR_FILENO, buffer, static_cast<size_t>(n));
    std::lock_guard lock(mutex_);
    err_.append(buffer, static_cast<size_t>(n));
    return true;
  }

  void stopDrain() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    if (drain_.joinable()) drain_.join();
  }

  int master_ = -1;
  int slave_ = -1;  // held open so the terminal stays up before the program opens it
  int keys_ = -1;
  int console_ = -1;
  int errors_ = -1;
  int terminal_ = -1;  // the master side of the controlling terminal (Keys::controllingTerminal)
  pid_t pid_ = -1;
  std::string ptyPath_;
  std::string configDir_;
  std::string setupError_;
  bool timedOut_ = false;
  int signal_ = 0;
  Clock::time_point started_;
  Clock::duration ranFor_{};
  std::thread drain_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  bool closeWireRequested_ = false;
  Bytes wire_;
  std::string out_;
  std::string err_;
};

}  // namespace tessaro::testing
