// A window port for tests: records what the display asks of the window.
#pragma once

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
  platform::FileChoice chooseMidiFile() override {
    ++chooserOpened;
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
  platform::FileChoice choice;
  std::function<void()> onPump;
};

}  // namespace tessaro::testing
