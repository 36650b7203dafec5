// The drawing primitives, button frames, glyphs, NoteGrid cells and the ControlTable, checked
// pixel by pixel on the back buffer.
#include <gtest/gtest.h>

#include <set>

#include "display/controls.h"
#include "display/status_window.h"
#include "support/fake_glyphs.h"

namespace tessaro::display {
namespace {

using testing::BlockGlyphs;

struct Window {
  BlockGlyphs glyphs;
  StatusWindow window{ContentWidth, ContentHeight, glyphs};
};

// The white pixels inside a rectangle, relative to its corner.
std::set<std::pair<int, int>> whiteIn(const StatusWindow& w, int x1, int y1, int x2, int y2) {
  std::set<std::pair<int, int>> found;
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x)
      if (w.buffer.pixel(x, y) == White) found.insert({x - x1, y - y1});
  return found;
}

TEST(BackBuffer, HasThirtyTwoSpareRowsAndStartsBlack) {
  BackBuffer buffer(385, 82);
  EXPECT_EQ(buffer.totalRows, 114);
  EXPECT_EQ(buffer.rgb.size(), 385u * 114u * 3u);
  EXPECT_EQ(buffer.pixel(384, 113), (Rgb{0, 0, 0}));
}

TEST(BackBuffer, RectanglesIncludeBothEdgesAndAreClipped) {
  BackBuffer buffer(10, 5);
  fillRect(buffer, 2, 1, 4, 2, {9, 8, 7});
  EXPECT_EQ(buffer.pixel(2, 1), (Rgb{9, 8, 7}));
  EXPECT_EQ(buffer.pixel(4, 2), (Rgb{9, 8, 7}));
  EXPECT_EQ(buffer.pixel(5, 2), (Rgb{0, 0, 0}));
  EXPECT_EQ(buffer.pixel(4, 3), (Rgb{0, 0, 0}));
  fillRect(buffer, -5, -5, 100, 100, {1, 1, 1});  // far outside: no overflow
  EXPECT_EQ(buffer.pixel(9, 36), (Rgb{1, 1, 1}));
  fillRect(buffer, 6, 0, 5, 0, {2, 2, 2});  // empty
  EXPECT_EQ(buffer.pixel(5, 0), (Rgb{1, 1, 1}));
  setPixel(buffer, 10, 0, {3, 3, 3});
  setPixel(buffer, -1, 0, {3, 3, 3});
}

TEST(Text, IsLaidAtItsCellCornerInItsColour) {
  Window w;
  drawText(w.window, 10, 20, "ab", 13, {200, 100, 50});
  EXPECT_EQ(w.glyphs.calls, (std::vector<BlockGlyphs::Call>{{"ab", 13}}));
  EXPECT_EQ(w.window.buffer.pixel(10, 21), (Rgb{200, 100, 50}));
  EXPECT_EQ(w.window.buffer.pixel(16, 31), (Rgb{200, 100, 50}));
  EXPECT_EQ(w.window.buffer.pixel(10, 20), (Rgb{0, 0, 0}));  // cell row 0 is empty
  EXPECT_EQ(w.window.buffer.pixel(13, 25), (Rgb{0, 0, 0}));  // gap between blocks
}

TEST(Frames, RaisedIsLightTopLeftAndSunkenTheReverse) {
  struct Case {
    bool sunken;
    Rgb topLeft, bottomRight;
  };
  for (Case c : {Case{false, White, {128, 128, 128}}, Case{true, {128, 128, 128}, White}}) {
    Window w;
    if (c.sunken) {
      drawSunkenFrame(w.window, 10, 10, 26, 25);
    } else {
      drawRaisedFrame(w.window, 10, 10, 26, 25);
    }
    const BackBuffer& b = w.window.buffer;
    EXPECT_EQ(b.pixel(10, 10), c.topLeft);
    EXPECT_EQ(b.pixel(25, 10), c.topLeft);
    EXPECT_EQ(b.pixel(10, 24), c.topLeft);
    EXPECT_EQ(b.pixel(26, 10), c.bottomRight);  // the right line owns the top-right corner
    EXPECT_EQ(b.pixel(10, 25), c.bottomRight);  // the bottom line owns the bottom-left corner
    EXPECT_EQ(b.pixel(26, 25), c.bottomRight);
    EXPECT_EQ(b.pixel(18, 18), (Rgb{0, 0, 0}));  // inside untouched
  }
}

TEST(Glyphs, EveryButtonShowsItsGlyphRaisedAndMovedWhenPressed) {
  struct Case {
    int control;
    size_t pixels;
    std::pair<int, int> sample;
  } cases[] = {
      {3, 5, {8, 6}},  {4, 5, {8, 8}},  {5, 61, {14, 4}},   {6, 5, {12, 5}},
      {8, 5, {8, 6}},  {9, 5, {8, 8}},  {10, 5, {12, 6}},   {11, 5, {12, 8}},
      {12, 5, {6, 6}}, {13, 5, {6, 8}}, {14, 18, {16, 13}},
  };
  for (const Case& c : cases) {
    const ControlLayout& layout = StatusControls[static_cast<size_t>(c.control)];
    for (bool pressed : {false, true}) {
      Window w;
      drawButton(w.window, layout, layout.left, layout.top, pressed, false);
      EXPECT_EQ(layout.left + layout.frameWidth, layout.right);
      EXPECT_EQ(layout.top + layout.frameHeight, layout.bottom);
      // Frame lines are white only on the raised top/left or the sunken bottom/right.
      auto inner =
          whiteIn(w.window, layout.left + 1, layout.top + 1, layout.right - 1, layout.bottom - 1);
      int shift = pressed ? 1 : 0;
      std::set<std::pair<int, int>> expected;
      for (auto [dx, dy] : glyphPixels(layout.glyph, false))
        expected.insert({dx + shift - 1, dy + shift - 1});
      EXPECT_EQ(inner, expected) << "control " << c.control + 1 << " pressed " << pressed;
      EXPECT_EQ(expected.size(), c.pixels);
      EXPECT_EQ(w.window.buffer.pixel(layout.left + c.sample.first + shift,
                                      layout.top + c.sample.second + shift),
                White);
      EXPECT_EQ(w.window.buffer.pixel(layout.left, layout.top),
                pressed ? w.window.grayTextColour : White);
    }
  }
}

TEST(Glyphs, TheCrossHasItsRisingStrokeOnlyForJapaneseUsers) {
  auto western = glyphPixels(Glyph::cross, false);
  auto japanese = glyphPixels(Glyph::cross, true);
  EXPECT_EQ(western.size(), 5u);
  EXPECT_EQ(japanese.size(), 9u);
  std::set<std::pair<int, int>> rising(japanese.begin() + 5, japanese.end());
  EXPECT_EQ(rising, (std::set<std::pair<int, int>>{{14, 3}, {13, 4}, {11, 6}, {10, 7}}));
}

TEST(Glyphs, FolderAndRampRowsAreExact) {
  auto folder = glyphPixels(Glyph::openFolder, false);
  std::set<int> row10;
  for (auto [dx, dy] : folder)
    if (dy == 10) row10.insert(dx);
  EXPECT_EQ(row10, (std::set<int>{5, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}));
  auto ramp = glyphPixels(Glyph::fadeRamp, false);
  std::set<int> row13;
  for (auto [dx, dy] : ramp)
    if (dy == 13) row13.insert(dx);
  EXPECT_EQ(row13, (std::set<int>{9, 10, 11, 12, 13, 14, 15, 16}));
}

TEST(NoteGrid, IdleColumnsCarryThePatternAndCellsLightOnlyOnTheWindowLayer) {
  Window w;
  paintIdleGrid(w.window.buffer);
  EXPECT_EQ(w.window.buffer.pixel(0, 10), (Rgb{0, 0, 0}));             // x 0 stays black
  EXPECT_EQ(w.window.buffer.pixel(3 * 61 + 1, 0), (Rgb{0, 0, 130}));   // C sharp
  EXPECT_EQ(w.window.buffer.pixel(3 * 66 + 3, 48), (Rgb{0, 0, 100}));  // F sharp
  EXPECT_EQ(w.window.buffer.pixel(3 * 60 + 2, 20), (Rgb{0, 0, 0}));    // C
  EXPECT_EQ(w.window.buffer.pixel(3 * 60 + 2, 49), (Rgb{0, 0, 0}));    // below the grid
  std::vector<uint8_t> before = w.window.buffer.rgb;
  w.window.cells.set(2, 61, true);
  w.window.cells.set(15, 127, true);
  w.window.cells.set(16, 0, true);  // no such channel
  EXPECT_EQ(w.window.buffer.rgb, before);
  EXPECT_TRUE(w.window.takeCellChange());
  EXPECT_FALSE(w.window.takeCellChange());
  std::vector<std::tuple<int, int, int, int, Rgb>> lit;
  w.window.forEachLitCell(
      [&](int x, int y, int cw, int ch, Rgb c) { lit.emplace_back(x, y, cw, ch, c); });
  EXPECT_EQ(lit, (std::vector<std::tuple<int, int, int, int, Rgb>>{
                     {184, 7, 3, 2, Rgb{255, 120, 130}}, {382, 46, 3, 2, Rgb{255, 120, 0}}}));
  // Showing the strip keeps the cells; showing the grid rows wipes them.
  present(w.window, StripTop, StripTop + 32);
  EXPECT_TRUE(w.window.cells.lit(2, 61));
  present(w.window, 0, 8);
  EXPECT_FALSE(w.window.cells.lit(2, 61));
  EXPECT_TRUE(w.window.cells.lit(15, 127));
  w.window.cells.set(15, 127, false);
  EXPECT_FALSE(w.window.cells.lit(15, 127));
}

TEST(ControlTable, HoldsSixtyThreeAndClicksEveryContainingControlInOrder) {
  Window w;
  std::vector<std::string> clicks;
  auto recorder = [&](const char* name) {
    return [&clicks, name](int x, int y, int pressed) {
      clicks.push_back(std::string(name) + " " + std::to_string(x) + "," + std::to_string(y) + " " +
                       std::to_string(pressed));
      return 0;
    };
  };
  EXPECT_EQ(addControl(w.window, recorder("a"), nullptr, 10, 10, 20, 20), 0);
  EXPECT_EQ(addControl(w.window, recorder("b"), nullptr, 15, 15, 30, 30), 0);
  EXPECT_EQ(addControl(w.window, nullptr, nullptr, 0, 0, 100, 100), 0);
  pressControlsAt(w.window, 15, 20);
  EXPECT_EQ(clicks, (std::vector<std::string>{"a 5,10 -1", "b 0,5 -1"}));
  EXPECT_EQ(w.window.controls[2].pressed, -1);
  clicks.clear();
  pressControlsAt(w.window, 31, 20);  // right of b, inside the plain rectangle only
  EXPECT_TRUE(clicks.empty());
  releaseControls(w.window);
  for (const Control& c : w.window.controls) EXPECT_EQ(c.pressed, 0);
  EXPECT_EQ(clickControl(w.window, 2, 0, 0), 0);
  EXPECT_EQ(clickControl(w.window, 99, 0, 0), 0);
  for (int i = 3; i < ControlCapacity; ++i)
    EXPECT_EQ(addControl(w.window, nullptr, nullptr, 0, 0, 0, 0), 0);
  EXPECT_EQ(addControl(w.window, nullptr, nullptr, 0, 0, 0, 0), -1);
}

TEST(KeySlotAndWheel, KeepOnlyTheLatestKeyAndCountNotches) {
  Window w;
  putKey(w.window, 'a');
  putKey(w.window, 0x221);
  EXPECT_EQ(peekKey(w.window), 0x221);
  EXPECT_EQ(takeKey(w.window), 0x221);
  EXPECT_EQ(peekKey(w.window), 0);
  w.window.wheelUp = 3;
  w.window.wheelDown = 1;
  EXPECT_EQ(takeWheelUp(w.window), 3);
  EXPECT_EQ(takeWheelUp(w.window), 0);
  EXPECT_EQ(takeWheelDown(w.window), 1);
}

}  // namespace
}  // namespace tessaro::display
