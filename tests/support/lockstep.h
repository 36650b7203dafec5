// Virtual time for the main thread and a real player thread together. The two take turns:
// only one runs at any moment, and a sleep hands the turn to whichever thread wakes first,
// moving the clock to that moment. A whole run with keys, stops and a playing song then takes
// microseconds, and every interleaving is the same on every run.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/platform.h"

namespace tessaro::testing {

class LockstepClock : public platform::Clock {
 public:
  // One thread taking part.
  struct Turn {
    uint32_t wake = 0;   // when it wants the turn back
    uint64_t order = 0;  // who asked first, among equal wake times
    bool waiting = false;
  };

  // The thread that constructs the clock holds the first turn.
  LockstepClock() {
    turns_.emplace_back();
    current_ = &turns_.back();
    owners_[std::this_thread::get_id()] = current_;
  }

  uint32_t tickMs() override {
    std::lock_guard lock(mutex_);
    return now_;
  }

  void sleepMs(int32_t ms) override {
    if (ms <= 0) return;
    std::unique_lock lock(mutex_);
    Turn* me = owners_.at(std::this_thread::get_id());
    if (now_ - start_ > runawayMs) {
      // A run that never ends (a loop waiting for something that cannot come) fails loudly
      // instead of spinning through virtual time for ever.
      std::fprintf(stderr, "virtual time ran past %u ms: the run does not end\n", runawayMs);
      std::abort();
    }
    me->wake = now_ + static_cast<uint32_t>(ms);
    me->order = next_++;
    me->waiting = true;
    handOver(lock, me);
  }

  // A new thread joins, due at once; it runs when the present one next sleeps or leaves.
  Turn* join() {
    std::lock_guard lock(mutex_);
    turns_.emplace_back();
    Turn* turn = &turns_.back();
    turn->wake = now_;
    turn->order = next_++;
    turn->waiting = true;
    return turn;
  }
  // Called first on the joining thread: waits for its turn.
  void enter(Turn* turn) {
    std::unique_lock lock(mutex_);
    owners_[std::this_thread::get_id()] = turn;
    changed_.wait(lock, [&] { return current_ == turn; });
  }
  // Called last on a thread that joined: the turn passes on and the thread takes no more.
  void leave() {
    std::unique_lock lock(mutex_);
    Turn* me = owners_.at(std::this_thread::get_id());
    owners_.erase(std::this_thread::get_id());
    passTurn();
    if (current_ == me) current_ = nullptr;
    turns_.remove_if([me](const Turn& t) { return &t == me; });
  }

  uint32_t now() {
    std::lock_guard lock(mutex_);
    return now_;
  }

 private:
  // Gives the turn to the earliest waker (this one included) and waits until it is back.
  void handOver(std::unique_lock<std::mutex>& lock, Turn* me) {
    passTurn();
    changed_.wait(lock, [&] { return current_ == me; });
  }
  void passTurn() {
    Turn* nextTurn = nullptr;
    for (Turn& t : turns_) {
      if (!t.waiting) continue;
      if (nextTurn == nullptr || t.wake < nextTurn->wake ||
          (t.wake == nextTurn->wake && t.order < nextTurn->order))
        nextTurn = &t;
    }
    if (nextTurn == nullptr) return;
    if (nextTurn->wake > now_) now_ = nextTurn->wake;
    nextTurn->waiting = false;
    current_ = nextTurn;
    changed_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::list<Turn> turns_;
  std::map<std::thread::id, Turn*> owners_;
  Turn* current_ = nullptr;
  static constexpr uint32_t start_ = 1000000;
  static constexpr uint32_t runawayMs = 4 * 3600 * 1000;
  uint32_t now_ = start_;
  uint64_t next_ = 0;
};

// A player thread on a real thread that takes its turns on a LockstepClock.
class LockstepThread : public platform::PlayerThread {
 public:
  LockstepThread(LockstepClock& clock, std::function<void()> body)
      : clock_(clock), body_(std::move(body)) {}
  // A join is a wait like any other: virtual time goes on meanwhile, so the body can finish.
  ~LockstepThread() override {
    if (!thread_.joinable()) return;
    while (!ended_) clock_.sleepMs(1);
    thread_.join();
  }
  bool setTimeCritical() override { return true; }
  void resume() override {
    LockstepClock::Turn* turn = clock_.join();
    thread_ = std::thread([this, turn] {
      clock_.enter(turn);
      body_();
      ended_ = true;
      clock_.leave();
    });
  }
  bool hasEnded() override { return ended_; }

 private:
  LockstepClock& clock_;
  std::function<void()> body_;
  std::atomic<bool> ended_{false};
  std::thread thread_;
};

class LockstepThreads : public platform::Threads {
 public:
  explicit LockstepThreads(LockstepClock& clock) : clock_(clock) {}
  std::unique_ptr<platform::PlayerThread> createSuspended(std::function<void()> body) override {
    ++created;
    return std::make_unique<LockstepThread>(clock_, std::move(body));
  }
  int created = 0;

 private:
  LockstepClock& clock_;
};

}  // namespace tessaro::testing
