// Narrow interfaces for every operating-system service the program uses. Everything outside
// src/platform talks to the system only through these, so tests can put virtual time, scripted
// keys and capture devices in their place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tessaro::platform {

// Millisecond tick count and sleep. The tick count wraps like a 32-bit counter.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual uint32_t tickMs() = 0;
  // Sleeps until the tick count has advanced by ms (no sleep for ms <= 0).
  virtual void sleepMs(int32_t ms) = 0;
};

// A thread created suspended: its body runs only after resume().
class PlayerThread {
 public:
  // Waits for the body to return when it was started.
  virtual ~PlayerThread() = default;
  // Highest scheduling priority available; false when nothing could be set.
  virtual bool setTimeCritical() = 0;
  virtual void resume() = 0;
  // True once the body has returned; never waits.
  virtual bool hasEnded() = 0;
};

class Threads {
 public:
  virtual ~Threads() = default;
  virtual std::unique_ptr<PlayerThread> createSuspended(std::function<void()> body) = 0;
};

// Priorities of the main thread and of the whole process.
class Priorities {
 public:
  virtual ~Priorities() = default;
  // The main thread's priority as an opaque value; false when it cannot be read.
  virtual bool getMainPriority(int& priority) = 0;
  virtual bool setMainPriority(int priority) = 0;
  virtual bool setMainPriorityLowest() = 0;
  // Real-time scheduling class where permitted; a silent fallback counts as success.
  virtual bool raiseProcessPriority() = 0;
};

// Console keys, read without waiting.
class ConsoleInput {
 public:
  virtual ~ConsoleInput() = default;
  // The next pending key as a signed character value, or 0 when none is pending.
  virtual int readKey() = 0;
  // After release no keys are read (output still goes to the console).
  virtual void release() = 0;
  // True once the input has ended for good (a pipe or file at its end): no key can come.
  virtual bool inputEnded() { return false; }
};

// One open serial line (a module's serial MIDI input).
class SerialLine {
 public:
  // Closes the device.
  virtual ~SerialLine() = default;
  // Writes every byte, blocking; 0 on success, otherwise the system error code.
  virtual int write(const uint8_t* bytes, size_t count) = 0;
};

struct SerialOpenResult {
  enum class Step { done, open, getState, setState };
  std::unique_ptr<SerialLine> line;  // set when step is done
  Step failedStep = Step::done;
  int error = 0;       // system error code of the failed step
  std::string reason;  // plain words: which device and why
};

class SerialPorts {
 public:
  virtual ~SerialPorts() = default;
  // Opens COMn at 38400 baud, 8 data bits, no parity, one stop bit, DTR raised.
  virtual SerialOpenResult open(int port) = 0;
};

// Result codes of the message device, as the system's MIDI output calls report them.
enum MidiResult : uint32_t {
  midiOk = 0,
  midiError = 1,  // unspecified failure
  midiErrorInvalidHandle = 5,
  midiErrorNoMemory = 7,
  midiErrorInvalidParam = 11,
  midiErrorStillPlaying = 65,
};

// The tone-generator convention the program's output is written in: GM, GS (the songs' own,
// untranslated) or XG.
enum class ModuleConvention { gm, gs, xg };

// A message device: packed short messages and whole long (system-exclusive) messages.
class MidiOutDevice {
 public:
  // Closes the device.
  virtual ~MidiOutDevice() = default;
  // Packed message, status in the low byte; a word without a status byte is running status.
  virtual uint32_t shortMessage(uint32_t word) = 0;
  // A long message lives in a caller's buffer between prepare and unprepare; the device may
  // still read it after sendLong returns, until unprepare succeeds.
  virtual uint32_t prepareLong(const uint8_t* data, size_t length) = 0;
  virtual uint32_t sendLong(const uint8_t* data, size_t length) = 0;
  virtual uint32_t unprepareLong(const uint8_t* data, size_t length) = 0;
  virtual uintptr_t handleValue() const = 0;
  // Which convention the program writes in, told after the open and whenever the choice
  // changes. A synthesizer reads bank selects accordingly; devices that pass messages on to a
  // module leave it to the module.
  virtual void setConvention(ModuleConvention /*convention*/) {}
};

struct MidiOpenResult {
  std::unique_ptr<MidiOutDevice> device;  // set on success
  uint32_t error = 0;
  std::string reason;  // plain words on failure
};

class MidiOutputs {
 public:
  virtual ~MidiOutputs() = default;
  static constexpr uint32_t mapper = 0xFFFFFFFFu;
  virtual MidiOpenResult open(uint32_t deviceId) = 0;
};

struct FileMatch {
  std::string name;  // without its directory
  bool isDirectory = false;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // The first matches (at most limit) of a name or wildcard pattern, in the system's order.
  virtual std::vector<FileMatch> findFiles(const std::string& pattern, size_t limit) = 0;
};

// Facts about the machine and the user.
class Environment {
 public:
  virtual ~Environment() = default;
  // The user's language is Japanese (Japanese variants of some messages).
  virtual bool japaneseUser() = 0;
  // The system is old enough to need the longer polling intervals.
  virtual bool oldSystem() = 0;
  // The running program's path as the system reports it, when it differs from word 0.
  virtual std::string programPath(const std::string& word0) = 0;
  // Where the settings file is read from: "tessaro.ini" in the program's directory, or the
  // user's own place for it when the program's directory holds none.
  virtual std::string settingsPath(const std::string& programDir) = 0;
};

// Every service, as one set handed to the application.
struct Services {
  Clock* clock = nullptr;
  Threads* threads = nullptr;
  Priorities* priorities = nullptr;
  ConsoleInput* console = nullptr;
  SerialPorts* serial = nullptr;
  MidiOutputs* midiOut = nullptr;
  FileSystem* files = nullptr;
  Environment* environment = nullptr;
};

}  // namespace tessaro::platform
