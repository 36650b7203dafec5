// The whole program in virtual time with a real player thread taking turns with the main
// thread (see lockstep.h): keys, stop requests and window events arrive in the middle of a song
// at exact moments, and the serial line can stall or go away at a chosen byte.
#pragma once

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "support/app_rig.h"
#include "support/lockstep.h"
#include "support/smf.h"

namespace tessaro::testing {

// A serial line that records what it takes. It can stall once (a peer that stops reading for a
// while) and can go away for good (an unplugged module) once a number of bytes have passed:
// that write takes the bytes up to the limit and fails, as a real device would. A stall is
// waited out as a real line waits: in virtual time, for at most the line's write time-out (then
// the write fails with ETIMEDOUT), and ended at once by an interrupt (the peer reads again
// once the stop has come).
class FaultySerialPorts : public platform::SerialPorts {
 public:
  static constexpr size_t never = std::numeric_limits<size_t>::max();

  explicit FaultySerialPorts(platform::Clock& clock) : clock_(clock) {}

  platform::SerialOpenResult open(int) override {
    platform::SerialOpenResult result;
    result.line = std::make_unique<Line>(*this);
    return result;
  }

  Bytes wire;                   // every byte taken, in order
  std::vector<uint32_t> times;  // the virtual time each byte was taken
  size_t failAfter = never;     // bytes taken before the line goes away
  int failWith = EIO;
  bool failed = false;
  uint32_t failedAt = 0;       // when it went away
  int writesAfterFailure = 0;  // attempts on a line already gone
  size_t stallAt = never;      // the write that reaches this byte waits first
  int32_t stallMs = 0;
  bool stalling = false;          // a write is waiting for the peer
  uint32_t stallEnd = 0;          // when the stall ended
  std::function<void()> onWrite;  // runs before each write

 private:
  class Line : public platform::SerialLine {
   public:
    explicit Line(FaultySerialPorts& ports) : p_(ports) {}
    int write(const uint8_t* bytes, size_t count) override {
      if (p_.onWrite) p_.onWrite();
      if (p_.wire.size() >= p_.failAfter) {
        if (p_.failed) ++p_.writesAfterFailure;
        fail();
        return p_.failWith;
      }
      if (interrupted_) return platform::serialWriteInterrupted;
      if (p_.stallMs > 0 && p_.wire.size() + count > p_.stallAt) {
        if (int ended = stall(); ended != 0) return ended;
      }
      size_t taken = std::min(count, p_.failAfter - p_.wire.size());
      p_.wire.insert(p_.wire.end(), bytes, bytes + taken);
      p_.times.insert(p_.times.end(), taken, p_.clock_.tickMs());
      if (taken == count) return 0;
      fail();
      return p_.failWith;
    }
    // Waits for the peer in pieces: 0 once it reads again, or why the write ends without it.
    int stall() {
      p_.stalling = true;
      int32_t waited = 0;
      while (waited < p_.stallMs && waited < platform::serialWriteTimeoutMs && !interrupted_) {
        p_.clock_.sleepMs(10);
        waited += 10;
      }
      p_.stalling = false;
      p_.stallEnd = p_.clock_.tickMs();
      if (interrupted_) {
        p_.stallMs = 0;
        return platform::serialWriteInterrupted;
      }
      if (waited < p_.stallMs) {
        p_.failAfter = p_.wire.size();  // held for good: later writes fail at once
        fail();
        return ETIMEDOUT;
      }
      p_.stallMs = 0;
      return 0;
    }
    void interrupt() override { interrupted_ = true; }
    void resume() override { interrupted_ = false; }
    void fail() {
      if (p_.failed) return;
      p_.failed = true;
      p_.failedAt = p_.clock_.tickMs();
    }
    std::string describeError(int error) const override {
      return std::string("/dev/ttyUSB0: ") + std::strerror(error);
    }

   private:
    FaultySerialPorts& p_;
    std::atomic<bool> interrupted_{false};
  };

  platform::Clock& clock_;
};

// Scripted keys, one per turn, and a stop request from outside (Ctrl+C) from a chosen read on.
class TurnConsole : public ScriptedConsole {
 public:
  TurnConsole() { keepOpen = true; }
  int readKey() override {
    if (++reads == interruptAt) stopRequested = true;
    if (onRead) onRead(reads);
    return ScriptedConsole::readKey();
  }
  bool interrupted() override { return stopRequested; }
  int reads = 0;
  int interruptAt = -1;
  bool stopRequested = false;
  std::function<void(int)> onRead;
};

// The program on the lockstep clock and threads, scripted console turns and a faulty line;
// setUp runs on the program before the run.
struct LockstepApp : AppRigOf<LockstepClock, LockstepThreads, TurnConsole, FaultySerialPorts> {
  std::function<void(App&)> setUp;

  int run(std::vector<std::string> words) {
    if (setUp) setUp(program());
    return AppRigOf::run(std::move(words));
  }
};

}  // namespace tessaro::testing
