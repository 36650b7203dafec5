// The built program with its real window on a virtual X display: the window has the content
// size, shows the status strip and lights the cell of a sounding note; a user resizes it,
// scrolls it with both bars and drops files on it from a file manager.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
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
  std::regex line(R"((0x[0-9a-f]+) "[^"]*": \("tessaro" "Tessaro"\)\s+(\d+)x(\d+))");
  if (!std::regex_search(tree, m, line)) return false;
  info = {m[1], std::stoi(m[2]), std::stoi(m[3])};
  return true;
}

bool screenshot(const std::string& display, const std::string& id, Screenshot& shot) {
  return readXwd(commandOutput("DISPLAY=" + display + " xwd -silent -id " + id), shot);
}

// The program on a virtual display, playing to the pseudo-terminal. In sanitizer builds
// fontconfig keeps a few blocks until the process ends.
struct WindowRun {
  std::string leaks = "leak:libfontconfig.so\n";
  TempFile suppressions{Bytes(leaks.begin(), leaks.end()), "lsan.supp"};
  ProgramProcess process;
  WindowRun(const VirtualDisplay& display, const std::vector<std::string>& words)
      : process(words, "", ProgramProcess::Keys::pipe,
                {"DISPLAY=" + display.name(), "LSAN_OPTIONS=suppressions=" + suppressions.path()}) {
  }
};

TEST(WindowEndToEnd, ShowsTheStripAndLightsTheSoundingNote) {
  for (const char* tool : {"Xvfb", "xwd", "xwininfo"}) {
    if (commandOutput(std::string("command -v ") + tool).empty())
      GTEST_SKIP() << tool << " is not installed (scripts/install-deps.sh installs it)";
  }
  VirtualDisplay display;
  ASSERT_FALSE(display.name().empty()) << "Xvfb did not start";
  TempFile song(repeatedNote(60), "repeated.mid");
  WindowRun program(display, {"/com1", song.path()});
  ProgramProcess& run = program.process;
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

#if TESSARO_XTEST
using Point = std::pair<int, int>;

// Polls value() until done(value) holds or ten seconds have passed; the last value.
template <class F, class D>
auto awaitUntil(F value, D done) {
  auto last = value();
  for (int i = 0; i < 100 && !done(last); ++i) {
    std::this_thread::sleep_for(100ms);
    last = value();
  }
  return last;
}
template <class F, class T>
T await(F value, const T& expected) {
  return awaitUntil(value, [&](const T& v) { return v == expected; });
}

// The content point the window shows at its origin: where the shot's client area (w x h)
// matches the picture of the whole content; {-1, -1} when nowhere.
Point shownFrom(const Screenshot& whole, const Screenshot& shot, int w, int h) {
  for (int dy = 0; dy + h <= whole.height && shot.width >= w && shot.height >= h; ++dy)
    for (int dx = 0; dx + w <= whole.width; ++dx) {
      bool same = true;
      for (int y = 0; y < h && same; ++y)
        for (int x = 0; x < w && same; ++x) same = shot.at(x, y) == whole.at(x + dx, y + dy);
      if (same) return {dx, dy};
    }
  return {-1, -1};
}
#endif

// A user narrows and lowers the window, steps through the content with both scroll bars, widens
// it again and drops two files on it from a file manager.
TEST(WindowEndToEnd, ResizesScrollsAndTakesDroppedFiles) {
#if !TESSARO_XTEST
  GTEST_SKIP() << "built without XTest (libxtst-dev, which scripts/install-deps.sh installs)";
#else
  for (const char* tool : {"Xvfb", "xwd", "xwininfo", "xprop"})
    if (commandOutput(std::string("command -v ") + tool).empty())
      GTEST_SKIP() << tool << " missing";
  VirtualDisplay display;
  XUser user(display.name());
  ASSERT_TRUE(user.connected()) << "Xvfb did not start";
  Track silence;
  silence.end(480 * 120);  // a minute without notes: the picture stays as it is
  TempFile song(smf(0, 480, {silence}), "quiet.mid");
  for (const char* name : {"one two.mid", "100%.mid"})
    std::filesystem::copy_file(song.path(), song.dir() + "/" + name);
  WindowRun run(display, {"/com1", song.path()});
  WindowInfo info;
  auto size = [&] {
    return findWindow(display.name(), info) ? Point(info.width, info.height) : Point();
  };
  ASSERT_EQ(await(size, Point(385, 82)), Point(385, 82)) << run.process.out();
  const Window w = std::stoul(info.id, nullptr, 16);
  auto shot = [&] {
    Screenshot s;
    screenshot(display.name(), info.id, s);
    return s;
  };
  auto xprop = [&](const char* name) {
    return commandOutput("DISPLAY=" + display.name() + " xprop -id " + info.id + " " + name);
  };
  const Screenshot whole = awaitUntil(shot, [](const Screenshot& s) {  // painted: a button corner
    return s.width == 385 && s.at(136, 50).r == 255;
  });

  // Narrowed by 50 while the button holds the drag: the snap waits for the button. Then the
  // height makes room for the bar and the size range stays open.
  user.pointTo(700, 500);
  user.button(true);
  user.resize(w, 335, 82);
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(size(), Point(335, 82));
  user.button(false);
  int bar = awaitUntil(size, [](Point p) { return p.second != 82; }).second - 82;
  EXPECT_EQ(size(), Point(335, 82 + bar));
  EXPECT_GT(bar, 0);
  std::string range = "minimum size: " + std::to_string(2 * bar) + " by " +
                      std::to_string(2 * bar) + "\n.*maximum size: 385 by ";
  EXPECT_TRUE(
      std::regex_search(xprop("WM_NORMAL_HINTS"), std::regex(range + std::to_string(82 + bar))));

  // Horizontal range 50: a line, a page (5), then the right arrow held: nine steps of 1, then
  // 2, 3, 4 and a tenth of the range.
  auto from = [&] { return shownFrom(whole, shot(), 335, 82); };
  auto click = [&](int x, int y) {
    user.pointTo(x, y, w);
    user.button(true);
    user.button(false);
  };
  click(335 - bar / 2, 82 + bar / 2);
  EXPECT_EQ(await(from, Point(1, 0)), Point(1, 0));
  click(335 - bar - 2, 82 + bar / 2);
  EXPECT_EQ(await(from, Point(6, 0)), Point(6, 0));
  user.pointTo(335 - bar / 2, 82 + bar / 2, w);
  user.button(true);
  const std::set<int> held{6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 17, 20, 24, 29, 34, 39, 44, 49, 50};
  std::set<int> seen;
  for (int i = 0; i < 1000 && !seen.contains(50); ++i) seen.insert(from().first);
  user.button(false);
  for (int x : seen) EXPECT_TRUE(held.contains(x)) << "stepped to " << x;
  EXPECT_TRUE(seen.contains(50));

  // Wider than the content: full size again, no bar, and the full size is also the largest.
  user.resize(w, 385 + bar + 10, 82);
  EXPECT_EQ(await(size, Point(385, 82)), Point(385, 82));
  EXPECT_TRUE(std::regex_search(xprop("WM_NORMAL_HINTS"), std::regex(range + "82")));

  // Lowered by 30: vertical range 30, a line and a page (3).
  user.resize(w, 385, 52);
  ASSERT_EQ(await(size, Point(385 + bar, 52)), Point(385 + bar, 52));
  auto fromV = [&] { return shownFrom(whole, shot(), 385, 52); };
  click(385 + bar / 2, 52 - bar / 2);
  EXPECT_EQ(await(fromV, Point(0, 1)), Point(0, 1));
  click(385 + bar / 2, 52 - bar - 2);
  EXPECT_EQ(await(fromV, Point(0, 4)), Point(0, 4));

  // Two files dropped after the pointer left the window and a first drag left it again.
  user.pointTo(100, 20, w);
  user.pointTo(700, 500);
  std::string dir = "file://" + song.dir();
  std::string uris = dir + "/one%20two.mid\r\n" + dir + "/100%25.mid\r\n";
  EXPECT_TRUE(user.drag(w, 100, 20, uris, false));
  EXPECT_TRUE(user.drag(w, 100, 20, uris, true));
  std::string title = "_NET_WM_NAME(UTF8_STRING) = \"quiet.mid < one two.mid < 100%.mid\"\n";
  EXPECT_EQ(await([&] { return xprop("_NET_WM_NAME"); }, title), title);
  user.close(w);
  run.process.finish(30s);
#endif
}

}  // namespace
}  // namespace tessaro::testing
