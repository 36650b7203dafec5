// The platform services on Linux: monotonic clock, std::thread based player thread with
// SCHED_FIFO where permitted, nice values for the main thread, a non-blocking keyboard on
// standard input, serial lines through termios, glob(3) for file patterns and the locale
// variables for the user's language.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "backends/posix/terminal_keys.h"
#include "platform/platform.h"

namespace tessaro::platform::posix {

// Ticks are whole milliseconds of CLOCK_MONOTONIC since construction.
class PosixClock : public Clock {
 public:
  PosixClock();
  uint32_t tickMs() override;
  // Sleeps to an absolute deadline counted from the start of the current tick, so that the
  // tick count afterwards has advanced by exactly ms and repeated sleeps do not drift.
  void sleepMs(int32_t ms) override;
  // Waits on the wakeup's condition variable to a little before the deadline, then sleeps the
  // rest as above, so that the deadline keeps the precision of an absolute sleep.
  void sleepMs(int32_t ms, Wakeup& wakeup) override;

 private:
  int64_t elapsedNs() const;
  int64_t deadlineNs(int32_t ms) const;
  int64_t originNs_;
};

// A std::thread that is started at once but waits for resume() before running its body.
class PosixPlayerThread : public PlayerThread {
 public:
  explicit PosixPlayerThread(std::function<void()> body);
  // Resumes a started body and joins; a thread never resumed exits without running its body.
  ~PosixPlayerThread() override;
  PosixPlayerThread(const PosixPlayerThread&) = delete;
  PosixPlayerThread& operator=(const PosixPlayerThread&) = delete;

  bool setTimeCritical() override;
  void resume() override;
  bool hasEnded() override;

 private:
  enum class Start { waiting, run, cancel };
  void main(std::function<void()> body);

  std::mutex mutex_;
  std::condition_variable changed_;
  Start start_ = Start::waiting;
  pid_t tid_ = 0;  // the kernel's id of the thread, known once it has started
  std::atomic<bool> ended_{false};
  std::thread thread_;
};

class PosixThreads : public Threads {
 public:
  std::unique_ptr<PlayerThread> createSuspended(std::function<void()> body) override;
};

// Priorities are nice values of the calling thread (Linux keeps one per thread).
class PosixPriorities : public Priorities {
 public:
  bool getMainPriority(int& priority) override;
  bool setMainPriority(int priority) override;
  // Two nice steps lower, but only when this process could return to the present value later.
  bool setMainPriorityLowest() override;
  // There is no process-wide real-time class; the player thread takes SCHED_FIFO itself.
  bool raiseProcessPriority() override { return true; }
};

// Keys from the terminal, one byte at a time, never waiting: standard input when it is a
// terminal, else the controlling terminal while the program is in its foreground, else none (a
// pipe or a file is never read). The terminal is switched to non-canonical mode without echo on
// the first read, and back on release, destruction and exit. SIGINT, SIGTERM and SIGHUP are stop
// requests (interrupted()); a second one ends the program at once with the terminal restored. The
// saved mode is process-wide, as the terminal itself is.
class PosixConsoleInput : public ConsoleInput {
 public:
  // installSignalHandlers: take SIGINT, SIGTERM and SIGHUP as stop requests (tests pass false).
  explicit PosixConsoleInput(bool installSignalHandlers = true);
  ~PosixConsoleInput() override;
  PosixConsoleInput(const PosixConsoleInput&) = delete;
  PosixConsoleInput& operator=(const PosixConsoleInput&) = delete;

  int readKey() override;
  void release() override;
  bool inputEnded() override { return endOfInput_; }
  bool interrupted() override;
  int stopSignal() override;
  // Ends the program by the signal that asked it to stop, as the signal would have ended it
  // without us (so a shell sees it), with the terminal put back; returns when there was none.
  void raiseStopSignal();

 private:
  void chooseTerminal();

  bool installSignalHandlers_;
  bool released_ = false;
  bool endOfInput_ = false;
  bool chosen_ = false;   // the terminal has been looked for
  int terminal_ = -1;     // the terminal keys come from; -1: none
  int ownTerminal_ = -1;  // the controlling terminal, when opened for the keys
  TerminalKeyDecoder keys_;
};

// One open serial device, closed when neither the output line nor an input holds it any more.
struct SerialDevice {
  SerialDevice(int fd, std::string path) : fd(fd), path(std::move(path)) {}
  ~SerialDevice();
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;
  const int fd;
  const std::string path;
};

// A non-blocking line whose writes wait in poll for room, for at most serialWriteTimeoutMs at a
// time, or until interrupt() raises the wake-up (an eventfd).
class PosixSerialLine : public SerialLine {
 public:
  // Takes the wake-up's descriptor; the device is shared with an input on it.
  PosixSerialLine(std::shared_ptr<SerialDevice> device, int wake);
  ~PosixSerialLine() override;
  PosixSerialLine(const PosixSerialLine&) = delete;
  PosixSerialLine& operator=(const PosixSerialLine&) = delete;
  const std::shared_ptr<SerialDevice>& device() const { return device_; }

  int write(const uint8_t* bytes, size_t count) override;
  void interrupt() override;
  void resume() override;
  // The device path and the system's text for the error.
  std::string describeError(int error) const override;

 private:
  int waitForRoom();

  std::shared_ptr<SerialDevice> device_;
  int fd_;
  int wake_;
  std::string path_;
  std::atomic<bool> interrupted_{false};
  bool held_ = false;  // a write timed out: what the line holds will not go out
};

// COMn is the device the user chose (-p), else the one the variable TESSARO_COM<n> names, else
// /dev/ttyS<n-1>.
class PosixSerialPorts : public SerialPorts {
 public:
  SerialOpenResult open(int port) override;
  bool chooseDevice(const std::string& path) override;
  // USB and ACM serial devices, and the built-in ports the kernel found hardware for.
  std::vector<std::string> listDevices() override;
  std::string devicePath(int port) const;
  // The device at path for an input: the one open for the output when it is the same device
  // (a module's serial port both ways is opened once), else opened as the output opens it.
  // Null with the reason in plain words when it cannot be opened.
  std::shared_ptr<SerialDevice> openShared(const std::string& path, std::string& reason);

 private:
  SerialOpenResult openPath(const std::string& path);

  std::string chosen_;
  std::map<std::string, std::weak_ptr<SerialDevice>> open_;  // by the device's real path
};

// The default output, whatever identifier is asked for: the ALSA sequencer connected to the
// port TESSARO_MIDI_PORT names, else the built-in synthesizer (--soundfont, else
// TESSARO_SOUNDFONT, chooses its SoundFont; TESSARO_WAV makes it record into that WAV file
// instead of playing, written under a temporary name until the recording ends).
// A port the user chose (-p) wins over TESSARO_MIDI_PORT.
class PosixMidiOutputs : public MidiOutputs {
 public:
  MidiOpenResult open(uint32_t deviceId) override;
  bool choosePort(const std::string& name) override;
  // The ALSA sequencer's ports that take MIDI.
  PortListing listPorts() override;
  void configureSynth(const SynthSettings& settings) override { synth_ = settings; }
  // TESSARO_WAV.
  std::string recordingPath() const override;
  void discardRecording() override { discarded_->store(true); }

 private:
  std::string chosen_;
  SynthSettings synth_;
  std::shared_ptr<std::atomic<bool>> discarded_ = std::make_shared<std::atomic<bool>>(false);
};

// A serial device path (a name holding a '/', shared with the output when it is the same
// device), else an ALSA sequencer port that sends MIDI.
class PosixMidiInputs : public MidiInputs {
 public:
  explicit PosixMidiInputs(PosixSerialPorts& serial) : serial_(serial) {}
  MidiInputOpen open(const std::string& name) override;
  // The ALSA sequencer's ports that send MIDI.
  PortListing listPorts() override;

 private:
  PosixSerialPorts& serial_;
};

class PosixFileSystem : public FileSystem {
 public:
  // glob(3) with only * and ? as wildcards, in glob's sorted order.
  std::vector<FileMatch> findFiles(const std::string& pattern, size_t limit) override;
  // stat(2) and access(2), with the system's words for what fails.
  PathFacts examine(const std::string& path) override;
  // open(2) without waiting (O_NONBLOCK), then poll(2) with the caller's wait.
  TextStreamOpen openText(const std::string& path) override;
  // Refused by stat(2) when it names no regular file; opened with O_NONBLOCK and checked again,
  // so that a pipe put in its place meanwhile is refused without a wait.
  FileBytes readRegularFile(const std::string& path, size_t limit) override;
};

// Output files written under a temporary name and renamed when complete (platform/output_files.h).
class PosixOutputFiles : public OutputFiles {
 public:
  PendingFileOpen begin(const std::string& finalPath, const std::string& suffix) override;
};

// Removes every temporary output file under way, and lets no new one begin: for a signal
// handler that ends the program at once. Async-signal-safe.
void removePendingOutputs();

// A stop request (SIGINT, SIGTERM, SIGHUP) has come, for waits outside the main loop to end on.
bool stopRequestedBySignal();

class PosixEnvironment : public Environment {
 public:
  // The first non-empty of LC_ALL, LC_MESSAGES and LANG starts with "ja".
  bool japaneseUser() override;
  bool oldSystem() override { return false; }
  // The target of /proc/self/exe, else word0.
  std::string programPath(const std::string& word0) override;
  // programDir/tessaro.ini when it exists, else $XDG_CONFIG_HOME/tessaro/tessaro.ini
  // (~/.config/tessaro/tessaro.ini when the variable is unset or empty).
  std::string settingsPath(const std::string& programDir) override;
  // $HOME.
  std::string homeDirectory() override;
  // The width of the terminal on standard output (80 when it does not say), 0 for none.
  int terminalColumns() override;
  // The same for standard error.
  int errorColumns() override;
  std::vector<std::string> variablesHelp() override;
};

// One of each service, for the program's lifetime.
struct PosixPlatform {
  PosixPlatform();
  ~PosixPlatform();
  PosixPlatform(const PosixPlatform&) = delete;
  PosixPlatform& operator=(const PosixPlatform&) = delete;

  Services services();

  PosixClock clock;
  PosixThreads threads;
  PosixPriorities priorities;
  PosixConsoleInput console;
  PosixSerialPorts serial;
  PosixMidiOutputs midiOut;
  PosixMidiInputs midiIn{serial};
  PosixFileSystem files;
  PosixEnvironment environment;
  PosixOutputFiles outputs;
  // The built-in synthesizer rendering audio files (TESSARO_SOUNDFONT chooses its SoundFont).
  std::unique_ptr<AudioRenderers> audio;
};

}  // namespace tessaro::platform::posix
