// The Linux services against real pseudo-terminals, pipes, directories and the environment.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "backends/posix/posix_platform.h"

namespace tessaro::platform::posix {
namespace {

using Step = SerialOpenResult::Step;

// Sets (or, for nullptr, unsets) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { old_ ? setenv(name_.c_str(), old_->c_str(), 1) : unsetenv(name_.c_str()); }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

struct Pty {
  Pty() { EXPECT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0); }
  ~Pty() {
    if (master >= 0) close(master);
    close(slave);
  }
  // Everything the master can read within a short wait.
  std::vector<uint8_t> drain() {
    std::vector<uint8_t> bytes;
    uint8_t buffer[256];
    pollfd fd{master, POLLIN, 0};
    for (ssize_t n = 0; poll(&fd, 1, 200) > 0 && (n = read(master, buffer, 256)) > 0;) {
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
  }
  int master = -1;
  int slave = -1;
};

TEST(PosixSerial, PseudoTerminalIsRaw38400EightNoneOneAndPassesBytesUnchanged) {
  Pty pty;
  ScopedEnv com("TESSARO_COM7", ttyname(pty.slave));
  SerialOpenResult result = PosixSerialPorts().open(7);
  ASSERT_NE(result.line, nullptr) << result.reason;

  termios mode{};
  ASSERT_EQ(tcgetattr(pty.slave, &mode), 0);
  EXPECT_EQ(cfgetospeed(&mode), B38400);
  EXPECT_EQ(cfgetispeed(&mode), B38400);
  EXPECT_EQ(mode.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD),
            static_cast<tcflag_t>(CS8 | CLOCAL | CREAD));
  EXPECT_EQ(mode.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(mode.c_oflag & OPOST, 0u);
  EXPECT_EQ(mode.c_iflag & (ICRNL | INLCR | IGNCR | IXON | ISTRIP), 0u);

  const std::vector<uint8_t> bytes = {0x90, 0x3C, 0x7F, 0x0A, 0x0D, 0x00, 0x11, 0x13,
                                      0x03, 0x1A, 0x04, 0xFF, 0xF0, 0x7E, 0xF7};
  EXPECT_EQ(result.line->write(bytes.data(), bytes.size()), 0);
  EXPECT_EQ(pty.drain(), bytes);

  // The far end gone: the write reports an error instead of ending the program.
  close(pty.master);
  pty.master = -1;
  EXPECT_NE(result.line->write(bytes.data(), bytes.size()), 0);
}

// A line whose far end reads nothing (a pseudo-terminal whose master is never read): a write
// that finds it full fails once the line has taken nothing for the time-out, and another thread
// can end such a write at once; later writes fail at once until the line is resumed. Run in a
// child that an alarm ends, so that a write that waits for ever fails the test.
TEST(PosixSerial, AHeldLineTimesOutAndAnInterruptEndsTheWait) {
  auto run = [] {
    alarm(20);
    Pty pty;
    ScopedEnv com("TESSARO_COM7", ttyname(pty.slave));
    SerialOpenResult result = PosixSerialPorts().open(7);
    if (!result.line) std::_Exit(3);
    SerialLine& line = *result.line;
    const std::vector<uint8_t> burst(64 * 1024, 0x00);
    const int timedOut = line.write(burst.data(), burst.size());
    if (timedOut != ETIMEDOUT) std::_Exit(4);
    if (line.describeError(timedOut).find("took no data for 2 s") == std::string::npos)
      std::_Exit(5);
    int interrupted = 0;
    std::thread writer([&] { interrupted = line.write(burst.data(), burst.size()); });
    usleep(100000);
    line.interrupt();
    writer.join();
    if (interrupted != serialWriteInterrupted) std::_Exit(6);
    const uint8_t note[] = {0x90, 0x3C, 0x40};
    if (line.write(note, 3) != serialWriteInterrupted) std::_Exit(7);
    pty.drain();
    line.resume();
    std::_Exit(line.write(note, 3) == 0 ? 0 : 8);
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}

TEST(PosixSerial, OpenFailuresNameTheDeviceAndTheStep) {
  const std::string file = ::testing::TempDir() + "tessaro-not-a-port-" + std::to_string(getpid());
  const std::string missing = ::testing::TempDir() + "tessaro-missing/ttyS0";
  std::ofstream(file).put('x');
  struct Case {
    const char* variable;  // TESSARO_COM98
    Step step;
    int error;
    std::string inReason;
  } const cases[] = {
      {missing.c_str(), Step::open, ENOENT, missing + ": "},
      {file.c_str(), Step::getState, ENOTTY, file + ": not a serial device"},
      {nullptr, Step::open, ENOENT, "/dev/ttyS97: "},
      {"", Step::open, ENOENT, "/dev/ttyS97: "},
  };
  for (const Case& c : cases) {
    ScopedEnv com("TESSARO_COM98", c.variable);
    SerialOpenResult result = PosixSerialPorts().open(98);
    EXPECT_EQ(result.line, nullptr);
    EXPECT_EQ(result.failedStep, c.step) << c.inReason;
    EXPECT_EQ(result.error, c.error) << c.inReason;
    EXPECT_NE(result.reason.find(c.inReason), std::string::npos) << result.reason;
  }
  std::filesystem::remove(file);
}

// Standard input is the read end of a pipe during each test, unless a test puts a terminal there.
class PosixConsole : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(pipe(pipe_), 0);
    dup2(pipe_[0], STDIN_FILENO);
  }
  void TearDown() override {
    dup2(savedStdin_, STDIN_FILENO);
    close(savedStdin_);
    close(pipe_[0]);
    if (pipe_[1] >= 0) close(pipe_[1]);
  }
  void type(const std::string& bytes) { EXPECT_GT(write(pipe_[1], bytes.data(), bytes.size()), 0); }

  int savedStdin_ = dup(STDIN_FILENO);
  int pipe_[2] = {-1, -1};
};

// Names piped to the program are not keys: a pipe on standard input is never read, and its
// bytes are left for whoever reads standard input. (Run in a session of its own, without the
// test's terminal; keys from a controlling terminal: inputs_e2e_test.)
TEST_F(PosixConsole, APipeIsNeverReadAsKeys) {
  type("d\x1b");
  auto run = [&] {
    if (setsid() < 0) std::_Exit(3);
    PosixConsoleInput console(false);
    for (int i = 0; i < 3; ++i)
      if (console.readKey() != 0) std::_Exit(4);
    int unread = 0;
    ioctl(pipe_[0], FIONREAD, &unread);
    std::_Exit(unread == 2 ? 0 : 5);
  };
  EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
}

TEST_F(PosixConsole, TerminalIsInKeyModeUntilReleased) {
  Pty pty;
  dup2(pty.slave, STDIN_FILENO);
  termios before{};
  termios mode{};
  ASSERT_EQ(tcgetattr(pty.slave, &before), 0);
  PosixConsoleInput console(false);
  EXPECT_EQ(console.readKey(), 0);
  ASSERT_EQ(tcgetattr(pty.slave, &mode), 0);
  EXPECT_EQ(mode.c_lflag & (ICANON | ECHO | ISIG), static_cast<tcflag_t>(ISIG));
  EXPECT_EQ(mode.c_cc[VMIN] + mode.c_cc[VTIME], 0);

  // Keys arrive without Enter, as typed, and are not echoed. An escape sequence is one key
  // (here Left, Up); bytes above 127 come as signed characters.
  const std::string typed = "k\x1b[D\ra\x1b[A\xe9\x80\xff\n";
  ASSERT_EQ(write(pty.master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  usleep(20000);
  for (int expected :
       std::initializer_list<int>{'k', 0x125, '\r', 'a', 0x126, -23, -128, -1, '\n', 0})
    EXPECT_EQ(console.readKey(), expected);
  EXPECT_TRUE(pty.drain().empty());

  console.release();
  EXPECT_EQ(console.readKey(), 0);
  ASSERT_EQ(tcgetattr(pty.slave, &mode), 0);
  EXPECT_EQ(mode.c_lflag, before.c_lflag);
  EXPECT_EQ(mode.c_iflag, before.c_iflag);
}

// SIGINT and SIGTERM are stop requests: the first is only noted, for the main loop to stop
// the song and end the run (the exit then restores the terminal); a second one ends the program
// at once and still leaves the terminal as it found it.
TEST_F(PosixConsole, StopSignalsAreRequestsAndASecondOneEndsTheProgram) {
  struct Case {
    int signal;
    int times;
    bool raiseAtEnd;  // the program ends by raising the request's signal again
  } cases[] = {{SIGINT, 1, false}, {SIGTERM, 1, false}, {SIGINT, 2, false}, {SIGTERM, 2, false},
               {0, 0, false},      {SIGINT, 1, true},   {SIGTERM, 1, true}, {0, 0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.signal << " x" << c.times << " " << c.raiseAtEnd);
    Pty pty;
    termios before{};
    termios after{};
    ASSERT_EQ(tcgetattr(pty.slave, &before), 0);
    auto run = [&] {
      dup2(pty.slave, STDIN_FILENO);
      // Never destroyed, so that only the exit and signal paths can restore the terminal.
      alignas(PosixConsoleInput) static unsigned char storage[sizeof(PosixConsoleInput)];
      auto* console = new (storage) PosixConsoleInput(true);
      console->readKey();
      for (int i = 0; i < c.times; ++i) raise(c.signal);
      termios mode{};
      tcgetattr(STDIN_FILENO, &mode);
      // Still in key mode, and the request is there for the main loop to read.
      bool keyMode = (mode.c_lflag & ICANON) == 0;
      bool told = console->interrupted() == (c.times > 0) && console->stopSignal() == c.signal;
      if (c.raiseAtEnd) console->raiseStopSignal();
      std::exit(told && keyMode ? 3 : 4);
    };
    if (c.times == 2 || (c.raiseAtEnd && c.times > 0)) {
      EXPECT_EXIT(run(), ::testing::KilledBySignal(c.signal), "");
    } else {
      EXPECT_EXIT(run(), ::testing::ExitedWithCode(3), "");
    }
    ASSERT_EQ(tcgetattr(pty.slave, &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
  }
}

TEST(PosixClock, SleepAdvancesTheTickCountByAtLeastTheRequest) {
  PosixClock clock;
  EXPECT_LT(clock.tickMs(), 1000u);
  for (int32_t ms : {1, 2, 5, 20, 0, -1}) {
    const uint32_t before = clock.tickMs();
    clock.sleepMs(ms);
    const uint32_t slept = clock.tickMs() - before;
    EXPECT_GE(slept, static_cast<uint32_t>(std::max(ms, 0)));
    EXPECT_LE(slept, static_cast<uint32_t>(std::max(ms, 0)) + 200);
  }
  const uint32_t start = clock.tickMs();
  for (int i = 0; i < 20; ++i) clock.sleepMs(3);
  EXPECT_GE(clock.tickMs() - start, 60u);
}

// Lowered two steps when the process may come back, else left alone; restoring always works.
TEST(PosixPriorities, LowestMainPriorityCanAlwaysBeRestored) {
  for (bool privileged : {true, false}) {
    auto run = [&] {
      const rlimit none{0, 0};
      if (!privileged && geteuid() == 0 && setresuid(65534, 65534, 65534) != 0) std::_Exit(3);
      if (!privileged && setrlimit(RLIMIT_NICE, &none) != 0) std::_Exit(3);
      PosixPriorities priorities;
      int before = 0;
      int lowered = 0;
      int restored = 0;
      if (!priorities.getMainPriority(before)) std::_Exit(4);
      // Whether this process may come back from a lower priority, tried out directly.
      const bool mayReturn = before < 19 && priorities.setMainPriority(before + 1) &&
                             priorities.setMainPriority(before);
      if (!privileged && mayReturn) std::_Exit(5);  // the setup did not take the right away
      if (!priorities.getMainPriority(before) || !priorities.setMainPriorityLowest() ||
          !priorities.getMainPriority(lowered)) {
        std::_Exit(6);
      }
      if (lowered != (mayReturn ? std::min(before + 2, 19) : before)) std::_Exit(7);
      if (!priorities.setMainPriority(before) || !priorities.getMainPriority(restored))
        std::_Exit(8);
      std::_Exit(restored == before ? 0 : 9);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "") << privileged;
  }
}

class PosixFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_ / "sub.mid");
    for (const char* name : {"a.mid", "b.mid", "ab.mid", "c.txt", "x\\y.mid", "song [1].mid"}) {
      std::ofstream(dir_ / name).put('x');
    }
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  const std::filesystem::path dir_ =
      std::filesystem::temp_directory_path() / ("tessaro-files-" + std::to_string(getpid()));
};

TEST_F(PosixFiles, PatternsMatchNamesInSortedOrderUpToTheLimit) {
  struct Case {
    std::string pattern;
    size_t limit;
    std::vector<std::string> names;  // a trailing '/' marks a directory
  } const cases[] = {
      {"*.mid", 10, {"a.mid", "ab.mid", "b.mid", "song [1].mid", "sub.mid/", "x\\y.mid"}},
      {"?.mid", 10, {"a.mid", "b.mid"}},
      {"*.mid", 2, {"a.mid", "ab.mid"}},
      {"*", 0, {}},
      {"a.mid", 10, {"a.mid"}},
      {"sub.mid", 10, {"sub.mid/"}},
      {"x\\y.mid", 10, {"x\\y.mid"}},
      // Only * and ? are wildcards: brackets and backslashes are parts of names.
      {"song [1].mid", 10, {"song [1].mid"}},
      {"song [12].mid", 10, {}},
      {"song [?].mid", 10, {"song [1].mid"}},
      {"x\\?.mid", 10, {"x\\y.mid"}},
      {"missing.mid", 10, {}},
      {"*.none", 10, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> names;
    for (const FileMatch& match : PosixFileSystem().findFiles(path(c.pattern), c.limit)) {
      names.push_back(match.name + (match.isDirectory ? "/" : ""));
    }
    EXPECT_EQ(names, c.names) << c.pattern;
  }
}

// Only a regular file is read; a pipe or a device is refused without waiting for a writer.
TEST_F(PosixFiles, OnlyRegularFilesAreReadWhole) {
  ASSERT_EQ(mkfifo(path("pipe.m3u").c_str(), 0600), 0);
  const struct {
    std::string path;
    size_t limit;
    std::string bytes;  // read, or why not
  } rows[] = {
      {path("a.mid"), 1, "x"},
      {path("pipe.m3u"), 100, "not a regular file (a pipe or a device)"},
      {"/dev/null", 100, "not a regular file (a pipe or a device)"},
  };
  for (const auto& row : rows) {
    FileBytes read = PosixFileSystem().readRegularFile(row.path, row.limit);
    EXPECT_EQ(read.read ? read.bytes : read.reason, row.bytes) << row.path;
  }
}

// Bytes of a terminal to key codes, in virtual time: {ms, byte} is read at ms (after asking
// whether an open sequence has timed out, as readKey does); {ms, idle} is a turn without a byte,
// {ms, ended} one after the input has ended.
TEST(TerminalKeys, SequencesAreOneKeyAndALoneEscWaits) {
  constexpr int idle = -1, ended = -2;
  struct Row {
    const char* name;
    std::vector<std::pair<uint32_t, int>> input;
    std::vector<int> keys;
  } const rows[] = {
      {"Up", {{0, 0x1B}, {0, '['}, {0, 'A'}}, {0x126}},
      {"End does not fade the next song", {{0, 0x1B}, {0, '['}, {0, 'F'}}, {0x123}},
      {"Left then a letter", {{0, 0x1B}, {0, '['}, {0, 'D'}, {0, 'f'}}, {0x125, 'f'}},
      {"Ctrl+Right", {{0, 0x1B}, {0, '['}, {0, '1'}, {0, ';'}, {0, '5'}, {0, 'C'}}, {0x327}},
      {"Page Up", {{0, 0x1B}, {0, '['}, {0, '5'}, {0, '~'}}, {0x121}},
      {"F5", {{0, 0x1B}, {0, '['}, {0, '1'}, {0, '5'}, {0, '~'}}, {OtherKey}},
      {"F1 in SS3", {{0, 0x1B}, {0, 'O'}, {0, 'P'}}, {OtherKey}},
      {"a mouse report", {{0, 0x1B}, {0, '['}, {0, '<'}, {0, '0'}, {0, 'M'}}, {OtherKey}},
      {"Alt+f", {{0, 0x1B}, {0, 'f'}}, {0x566}},
      {"lone Esc after the wait", {{0, 0x1B}, {10, idle}, {29, idle}, {30, idle}}, {0x1B}},
      {"Esc, then a letter read late", {{0, 0x1B}, {40, 'f'}}, {0x1B, 'f'}},
      {"Esc twice", {{0, 0x1B}, {0, 0x1B}, {30, idle}}, {0x1B, 0x1B}},
      {"Esc at the end of the input", {{0, 0x1B}, {1, ended}}, {0x1B}},
      {"Alt+O alone", {{0, 0x1B}, {0, 'O'}, {30, idle}}, {0x54F}},
      {"a sequence cut short",
       {{0, 0x1B}, {0, '['}, {0, '1'}, {30, idle}, {30, 'u'}},
       {OtherKey, 'u'}},
      {"bytes above 127", {{0, 0xE9}, {0, 0x80}}, {-23, -128}},
  };
  for (const Row& row : rows) {
    TerminalKeyDecoder decoder;
    std::vector<int> keys;
    for (auto [ms, byte] : row.input) {
      int key = decoder.idle(ms, byte == ended);
      if (key != 0) keys.push_back(key);
      if (byte >= 0 && (key = decoder.feed(static_cast<uint8_t>(byte), ms)) != 0)
        keys.push_back(key);
    }
    EXPECT_EQ(keys, row.keys) << row.name;
  }
}

TEST(PosixEnvironment, JapaneseFromTheFirstSetLocaleVariable) {
  struct Case {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    bool japanese;
  } const cases[] = {
      {nullptr, nullptr, "ja_JP.UTF-8", true}, {"C", nullptr, "ja_JP.UTF-8", false},
      {"", nullptr, "ja_JP.UTF-8", true},      {nullptr, "ja_JP.eucJP", "C", true},
      {nullptr, "en_GB.UTF-8", "ja", false},   {nullptr, nullptr, nullptr, false},
  };
  for (const Case& c : cases) {
    ScopedEnv all("LC_ALL", c.lcAll);
    ScopedEnv messages("LC_MESSAGES", c.lcMessages);
    ScopedEnv lang("LANG", c.lang);
    EXPECT_EQ(PosixEnvironment().japaneseUser(), c.japanese) << &c - cases;
  }
}

TEST(PosixEnvironment, ProgramPathIsThisExecutable) {
  EXPECT_EQ(PosixEnvironment().programPath("word0"), std::filesystem::canonical("/proc/self/exe"));
}

}  // namespace
}  // namespace tessaro::platform::posix
