// A window port for tests: records what the display asks of the window.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace tessaro::testing {

class FakeWindowPort : public platform::StatusWindowPort {
 public:
  bool exists() override { return open; }
  void setTitle(const std::string& title) override { titles.push_back(title); }
  void showRows(int y1, int y2) override { shown.emplace_back(y1, y2); }
  void pump() override {
    ++pumps;
    if (onPump) onPump();
  }
  void releaseTopmost() override { ++topmostReleases; }
  platform::FileChoice chooseMidiFile(const std::string& startDirectory) override {
    ++chooserOpened;
    chooserDirectory = startDirectory;
    return choice;
  }
  platform::Rgb menuColour() override { return {212, 208, 200}; }
  platform::Rgb grayTextColour() override { return {109, 109, 109}; }

  bool open = true;
  std::vector<std::string> titles;
  std::vector<std::pair<int, int>> shown;
  int pumps = 0;
  int topmostReleases = 0;
  int chooserOpened = 0;
  std::string chooserDirectory;
  int destroyed = 0;
  platform::FileChoice choice;
  std::function<void()> onPump;
};

// Hands out a window that forwards every call to its own FakeWindowPort, which outlives the
// App so a test can read what happened after the run (or none, as without a display).
class FakeWindowSystem : public platform::WindowSystem {
 public:
  class Forwarder : public platform::StatusWindowPort {
   public:
    explicit Forwarder(FakeWindowPort& to) : to_(to) {}
    ~Forwarder() override { ++to_.destroyed; }
    bool exists() override { return to_.exists(); }
    void setTitle(const std::string& title) override { to_.setTitle(title); }
    void showRows(int y1, int y2) override { to_.showRows(y1, y2); }
    void pump() override { to_.pump(); }
    void releaseTopmost() override { to_.releaseTopmost(); }
    platform::FileChoice chooseMidiFile(const std::string& startDirectory) override {
      return to_.chooseMidiFile(startDirectory);
    }
    platform::Rgb menuColour() override { return to_.menuColour(); }
    platform::Rgb grayTextColour() override { return to_.grayTextColour(); }

   private:
    FakeWindowPort& to_;
  };

  std::unique_ptr<platform::StatusWindowPort> create(const std::string& title,
                                                     platform::WindowContent& content,
                                                     platform::WindowEvents& events) override {
    createdTitle = title;
    this->content = &content;
    this->events = &events;
    if (noDisplay) return nullptr;
    return std::make_unique<Forwarder>(window);
  }
  bool noDisplay = false;
  std::string createdTitle;
  FakeWindowPort window;
  platform::WindowContent* content = nullptr;  // valid while the App lives
  platform::WindowEvents* events = nullptr;
};

}  // namespace tessaro::testing
