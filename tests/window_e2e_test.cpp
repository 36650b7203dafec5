// The built program with its real window on a virtual X display: the window has the content
// size, shows the status strip and lights the cell of a sounding note.
#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "support/program_process.h"
#include "support/smf.h"
#include "support/xvfb.h"

namespace tessaro::testing {
namespace {

using namespace std::chrono_literals;

// One note on channel 1 struck again and again for eight seconds: on for 200 ms of every 250.
// (A full repaint at the start of the song shows the idle grid until the next note events.)
Bytes repeatedNote(uint8_t key) {
  Track t;
  t.ev(0, {0x90, key, 0x50});
  for (int i = 0; i < 32; ++i) t.ev(192, {0x80, key, 0x00}).ev(48, {0x90, key, 0x50});
  t.ev(192, {0x80, key, 0x00}).end();
  return smf(0, 480, {t});
}

struct WindowInfo {
  std::string id;
  int width = 0, height = 0;
};

// The program's window as the X server lists it.
bool findWindow(const std::string& display, WindowInfo& info) {
  std::string tree = commandOutput("DISPLAY=" + display + " xwininfo -root -tree 2>/dev/null");
  std::smatch m;
  std::regex line(R"((0x[0-9a-f]+) "[^"]*": \("FLTK" "FLTK"\)\s+(\d+)x(\d+))");
  if (!std::regex_search(tree, m, line)) return false;
  info = {m[1], std::stoi(m[2]), std::stoi(m[3])};
  return true;
}

bool screenshot(const std::string& display, const std::string& id, Screenshot& shot) {
  return readXwd(commandOutput("DISPLAY=" + display + " xwd -silent -id " + id), shot);
}

TEST(WindowEndToEnd, ShowsTheStripAndLightsTheSoundingNote) {
  for (const char* tool : {"Xvfb", "xwd", "xwininfo"}) {
    if (commandOutput(std::string("command -v ") + tool).empty())
      GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)";
  }
  VirtualDisplay display;
  ASSERT_FALSE(display.name().empty()) << "Xvfb did not start";
  TempFile song(repeatedNote(60), "repeated.mid");
  // In sanitizer builds: fontconfig keeps a few blocks until the process ends.
  std::string leaks = "leak:libfontconfig.so\n";
  TempFile suppressions(Bytes(leaks.begin(), leaks.end()), "lsan.supp");
  ProgramProcess run(
      {"/com1", song.path()}, "", ProgramProcess::Keys::pipe,
      {"DISPLAY=" + display.name(), "LSAN_OPTIONS=suppressions=" + suppressions.path()});
  ASSERT_EQ(run.setupError(), "");

  WindowInfo window;
  Screenshot shot;
  bool lit = false;
  std::string seen;
  const Pixel litC{255, 120, 0};  // note 60 is a C: no blue in its column
  for (auto until = std::chrono::steady_clock::now() + 20s;
       !lit && std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(100ms)) {
    if (!findWindow(display.name(), window) || !screenshot(display.name(), window.id, shot))
      continue;
    lit = shot.width == 385 && shot.at(181, 1) == litC && shot.at(183, 2) == litC;
    if (shot.width == 385) {
      Pixel p = shot.at(181, 1);
      seen += std::to_string(p.r) + "," + std::to_string(p.g) + "," + std::to_string(p.b) + " ";
    }
  }
  ASSERT_TRUE(lit) << run.out() << "\nnote cell pixels seen: " << seen;
  EXPECT_EQ(window.width, 385);
  EXPECT_EQ(window.height, 82);
  // The idle grid around the lit cell, the separator and the strip.
  EXPECT_EQ(shot.at(181, 3), (Pixel{0, 0, 0}));    // the row between channels
  EXPECT_EQ(shot.at(184, 1), (Pixel{0, 0, 130}));  // C sharp, idle
  Pixel separator = shot.at(10, 49);
  EXPECT_GT(separator.r, 100);
  EXPECT_EQ(shot.at(200, 49), separator);
  int ink = 0;  // the list row's text, light grey to white where the glyphs cover the pixel
  for (int y = 50; y < 62; ++y)
    for (int x = 0; x < 136; ++x) {
      Pixel p = shot.at(x, y);
      ink += p.r > 150 && p.r == p.g && p.g == p.b;
    }
  EXPECT_GT(ink, 30);
  EXPECT_EQ(shot.at(136, 50), (Pixel{255, 255, 255}));  // a raised button's light corner
  run.finish(30s);
}

}  // namespace
}  // namespace tessaro::testing
