// Test doubles for the platform services: the virtual clock, whose sleeps advance time at once,
// capture devices that record every byte or message with its virtual time, a thread that runs
// its body on the test thread when resumed, and scripted console keys.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/virtual_clock.h"

namespace tessaro::testing {

// The product's virtual clock, started far from 0 and keeping every sleep for the test to read;
// onSlept, when set, runs after each sleep with the time then (a test's moment to act).
class VirtualClock : public platform::VirtualClock {
 public:
  VirtualClock() : platform::VirtualClock(1000000) {}
  std::vector<int32_t> sleeps;
  std::function<void(uint32_t)> onSlept;

 protected:
  void slept(int32_t ms) override {
    sleeps.push_back(ms);
    if (onSlept) onSlept(now);
  }
};

// One message as it reached a device, with the virtual time it arrived.
struct Captured {
  uint32_t time;
  std::vector<uint8_t> bytes;
  bool operator==(const Captured&) const = default;
};

class CaptureSerialLine : public platform::SerialLine {
 public:
  CaptureSerialLine(platform::Clock& clock, std::vector<Captured>& writes, int& failWith)
      : clock_(clock), writes_(writes), failWith_(failWith) {}
  int write(const uint8_t* bytes, size_t count) override {
    if (failWith_ != 0) return failWith_;
    writes_.push_back({clock_.tickMs(), std::vector<uint8_t>(bytes, bytes + count)});
    return 0;
  }

 private:
  platform::Clock& clock_;
  std::vector<Captured>& writes_;
  int& failWith_;
};

// Serial ports whose lines record each write call.
class CaptureSerialPorts : public platform::SerialPorts {
 public:
  explicit CaptureSerialPorts(platform::Clock& clock) : clock_(clock) {}
  platform::SerialOpenResult open(int port) override {
    opened.push_back(port);
    platform::SerialOpenResult result;
    if (openFailure.failedStep != platform::SerialOpenResult::Step::done) {
      result.failedStep = openFailure.failedStep;
      result.error = openFailure.error;
      result.reason = openFailure.reason;
      return result;
    }
    result.line = std::make_unique<CaptureSerialLine>(clock_, writes, writeFailure);
    return result;
  }
  bool chooseDevice(const std::string& path) override {
    if (takesNames) chosen = path;
    return takesNames;
  }
  std::vector<std::string> listDevices() override { return devices; }
  // Every byte written, in order.
  std::vector<uint8_t> bytes() const {
    std::vector<uint8_t> all;
    for (const auto& w : writes) all.insert(all.end(), w.bytes.begin(), w.bytes.end());
    return all;
  }

  std::vector<int> opened;
  std::vector<Captured> writes;
  platform::SerialOpenResult openFailure;
  int writeFailure = 0;
  bool takesNames = true;  // the system names its devices (-p takes a path)
  std::string chosen;
  std::vector<std::string> devices;

 private:
  platform::Clock& clock_;
};

// A message device that records short words and long blocks.
class CaptureMidiOut : public platform::MidiOutDevice {
 public:
  struct Record {
    uint32_t time;
    bool isLong;
    uint32_t word;               // short messages
    std::vector<uint8_t> bytes;  // long messages
  };
  CaptureMidiOut(platform::Clock& clock, std::vector<Record>& records,
                 std::vector<std::string>& calls)
      : clock_(clock), records_(records), calls_(calls) {}
  uint32_t shortMessage(uint32_t word) override {
    calls_.push_back("short");
    records_.push_back({clock_.tickMs(), false, word, {}});
    return shortResult;
  }
  uint32_t prepareLong(const uint8_t*, size_t) override {
    calls_.push_back("prepare");
    return prepareResult;
  }
  uint32_t sendLong(const uint8_t* data, size_t length) override {
    calls_.push_back("long");
    records_.push_back({clock_.tickMs(), true, 0, std::vector<uint8_t>(data, data + length)});
    return longResult;
  }
  uint32_t unprepareLong(const uint8_t*, size_t) override {
    calls_.push_back("unprepare");
    if (stillPlayingCount > 0) {
      --stillPlayingCount;
      return platform::midiErrorStillPlaying;
    }
    return unprepareResult;
  }
  uintptr_t handleValue() const override { return 0x1234; }
  void setConvention(platform::ModuleConvention told) override { convention = told; }

  uint32_t shortResult = 0, prepareResult = 0, longResult = 0, unprepareResult = 0;
  platform::ModuleConvention convention = platform::ModuleConvention::gs;
  int stillPlayingCount = 0;

 private:
  platform::Clock& clock_;
  std::vector<Record>& records_;
  std::vector<std::string>& calls_;
};

class CaptureMidiOutputs : public platform::MidiOutputs {
 public:
  explicit CaptureMidiOutputs(platform::Clock& clock) : clock_(clock) {}
  platform::MidiOpenResult open(uint32_t deviceId) override {
    openedId = deviceId;
    platform::MidiOpenResult result;
    if (failOpen) {
      result.error = 2;
      result.reason = "no MIDI output device";
      result.busy = busy;
      return result;
    }
    auto device = std::make_unique<CaptureMidiOut>(clock_, records, calls);
    last = device.get();
    result.device = std::move(device);
    return result;
  }

  bool choosePort(const std::string& name) override {
    chosen = name;
    return true;
  }
  platform::PortListing listPorts() override { return listing; }

  std::vector<CaptureMidiOut::Record> records;
  std::vector<std::string> calls;
  CaptureMidiOut* last = nullptr;
  uint32_t openedId = 0;
  bool failOpen = false;
  platform::Busy busy = platform::Busy::unknown;  // told with a failed open
  std::string chosen;
  platform::PortListing listing;

 private:
  platform::Clock& clock_;
};

// Runs the body on the calling thread when resumed: the whole song plays in virtual time.
class SyncThread : public platform::PlayerThread {
 public:
  explicit SyncThread(std::function<void()> body) : body_(std::move(body)) {}
  bool setTimeCritical() override { return true; }
  void resume() override {
    body_();
    ended_ = true;
  }
  bool hasEnded() override { return ended_; }

 private:
  std::function<void()> body_;
  bool ended_ = false;
};

class SyncThreads : public platform::Threads {
 public:
  std::unique_ptr<platform::PlayerThread> createSuspended(std::function<void()> body) override {
    ++created;
    return std::make_unique<SyncThread>(std::move(body));
  }
  int created = 0;
};

class FakePriorities : public platform::Priorities {
 public:
  bool getMainPriority(int& priority) override {
    priority = 0;
    return getOk;
  }
  bool setMainPriority(int) override { return setOk; }
  bool setMainPriorityLowest() override { return setOk; }
  bool raiseProcessPriority() override { return raiseOk; }
  bool getOk = true, setOk = true, raiseOk = true;
};

// Keys handed out one per read; an entry of 0 stands for a turn without a key.
class ScriptedConsole : public platform::ConsoleInput {
 public:
  int readKey() override {
    if (released || keys.empty()) return 0;
    int key = keys.front();
    keys.pop_front();
    return key;
  }
  void release() override { released = true; }
  // Input ends once the script is used up, unless the test keeps it open.
  bool inputEnded() override { return keys.empty() && !keepOpen; }
  std::deque<int> keys;
  bool released = false;
  bool keepOpen = false;
};

class FakeEnvironment : public platform::Environment {
 public:
  bool japaneseUser() override { return japanese; }
  bool oldSystem() override { return old; }
  std::string programPath(const std::string& word0) override { return path.empty() ? word0 : path; }
  std::string settingsPath(const std::string& programDir) override {
    return settings.empty() ? programDir + "tessaro.ini" : settings;
  }
  int terminalColumns() override { return columns; }
  std::string settings;
  bool japanese = false;
  bool old = false;
  std::string path;
  int columns = 0;  // standard output is a terminal this wide; 0: a pipe
};

// A MIDI input that hands out scripted bytes, each chunk at its time in milliseconds after the
// first read, on the clock of the test. It ends after the last chunk unless it is kept open; a
// wake ends a read (or the next one) at once, on a clock that can be woken. The script is set
// before the run; only wake() is called from another thread.
class ScriptedMidiInput : public platform::MidiInput {
 public:
  struct Chunk {
    uint32_t at = 0;
    std::vector<uint8_t> bytes;
  };

  explicit ScriptedMidiInput(platform::Clock& clock) : clock_(clock) {}

  platform::InputRead read(uint8_t* buffer, size_t capacity, int32_t timeoutMs) override {
    using Status = platform::InputRead::Status;
    ++reads;
    if (onRead) onRead(reads);
    if (!started_) origin_ = clock_.tickMs();
    started_ = true;
    if (takeWake()) return {};
    if (chunks.empty()) {
      if (!keepOpen) return {Status::ended, 0};
      clock_.sleepMs(timeoutMs, wakeup_);
      takeWake();
      return {};
    }
    if (dueIn() > 0) {
      clock_.sleepMs(std::min(dueIn(), timeoutMs), wakeup_);
      if (takeWake() || dueIn() > 0) return {};
    }
    std::vector<uint8_t>& bytes = chunks.front().bytes;
    size_t count = std::min(capacity, bytes.size());
    std::memcpy(buffer, bytes.data(), count);
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<long>(count));
    if (bytes.empty()) chunks.pop_front();
    return {Status::bytes, count};
  }
  void wake() override {
    {
      std::lock_guard lock(wakeup_.mutex);
      wakeup_.woken = true;
    }
    wakeup_.changed.notify_all();
  }
  std::string endReason() const override { return "the script has ended"; }

  // Appends bytes due at ms after the first read.
  ScriptedMidiInput& at(uint32_t ms, std::vector<uint8_t> bytes) {
    chunks.push_back({ms, std::move(bytes)});
    return *this;
  }

  std::deque<Chunk> chunks;
  bool keepOpen = false;
  int reads = 0;
  // Runs at the start of every read, with its number from 1 (on the reading thread).
  std::function<void(int)> onRead;

 private:
  int32_t dueIn() { return static_cast<int32_t>(origin_ + chunks.front().at - clock_.tickMs()); }
  bool takeWake() {
    std::lock_guard lock(wakeup_.mutex);
    bool woken = wakeup_.woken;
    wakeup_.woken = false;
    return woken;
  }

  platform::Clock& clock_;
  platform::Wakeup wakeup_;
  bool started_ = false;
  uint32_t origin_ = 0;
};

// The MIDI inputs of a test: every open hands out the one scripted input (unless told to fail),
// and the names asked for are kept.
class ScriptedMidiInputs : public platform::MidiInputs {
 public:
  explicit ScriptedMidiInputs(platform::Clock& clock) : input(clock) {}
  platform::MidiInputOpen open(const std::string& name) override {
    opened.push_back(name);
    platform::MidiInputOpen result;
    if (!failure.empty()) {
      result.reason = failure;
      return result;
    }
    result.input = std::make_unique<Handle>(input);
    return result;
  }
  platform::PortListing listPorts() override { return listing; }

  ScriptedMidiInput input;
  std::vector<std::string> opened;
  std::string failure;  // set: every open fails with this reason
  platform::PortListing listing;

 private:
  class Handle : public platform::MidiInput {
   public:
    explicit Handle(ScriptedMidiInput& input) : input_(input) {}
    platform::InputRead read(uint8_t* buffer, size_t capacity, int32_t timeoutMs) override {
      return input_.read(buffer, capacity, timeoutMs);
    }
    void wake() override { input_.wake(); }
    std::string endReason() const override { return input_.endReason(); }

   private:
    ScriptedMidiInput& input_;
  };
};

}  // namespace tessaro::testing
