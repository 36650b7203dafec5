// The real font on this machine: text comes out as ink inside its cell, Japanese names too when
// a Japanese font is installed, and broken UTF-8 never stops the drawing.
#include <gtest/gtest.h>

#include "backends/fonts/font_glyphs.h"

namespace tessaro::platform::fonts {
namespace {

struct Ink {
  int pixels = 0;
  int top = 1 << 30, bottom = -1;
};

Ink inkOf(const TextMask& mask) {
  Ink ink;
  for (int y = 0; y < mask.height; ++y)
    for (int x = 0; x < mask.width; ++x)
      if (mask.coverage[static_cast<size_t>(y * mask.width + x)] > 127) {
        ++ink.pixels;
        ink.top = std::min(ink.top, y);
        ink.bottom = std::max(ink.bottom, y);
      }
  return ink;
}

TEST(FontGlyphs, TextIsInkInsideItsCell) {
  FontGlyphSource glyphs;
  if (glyphs.fontFile().empty()) GTEST_SKIP() << "no font installed";
  for (int height : {13, 15, 16}) {
    TextMask mask;
    glyphs.render("repeat  1", height, mask);
    EXPECT_EQ(mask.height, height);
    EXPECT_GT(mask.width, 9 * height / 4);
    EXPECT_LT(mask.width, 9 * height);
    ASSERT_EQ(mask.coverage.size(), static_cast<size_t>(mask.width * mask.height));
    Ink ink = inkOf(mask);
    EXPECT_GT(ink.pixels, 20) << height;
    EXPECT_GE(ink.top, 1) << height;              // below the cell top
    EXPECT_GE(ink.bottom, height / 2) << height;  // reaches the lower half
  }
}

// Every printable character of the list font (13 px) and the label fonts (15, 16 px) is whole
// in its cell: an underscore below the cell, or a bracket above it, would lose its ink.
TEST(FontGlyphs, EveryPrintableCharacterIsWholeInItsCell) {
  FontGlyphSource glyphs;
  if (glyphs.fontFile().empty()) GTEST_SKIP() << "no font installed";
  for (int height : {13, 15, 16}) {
    for (char c = 0x20; c < 0x7F; ++c) {
      TextMask mask;
      glyphs.render(std::string(1, c), height, mask);
      EXPECT_EQ(glyphs.lostPixels(), 0) << "'" << c << "' at " << height;
      EXPECT_EQ(inkOf(mask).pixels > 0, c != ' ') << "'" << c << "' at " << height;
    }
  }
  TextMask name;
  glyphs.render("my_test_song.mid", 13, name);
  EXPECT_EQ(glyphs.lostPixels(), 0);
  EXPECT_GE(inkOf(name).bottom, 11);  // the underscores' row
}

TEST(FontGlyphs, JapaneseNamesAndBrokenBytes) {
  FontGlyphSource glyphs;
  if (glyphs.fontFile().empty()) GTEST_SKIP() << "no font installed";
  TextMask mask;
  glyphs.render("曲名.mid", 13, mask);
  EXPECT_GT(inkOf(mask).pixels, 30);
  TextMask broken;
  glyphs.render(std::string("a\xff\xfe"
                            "b"),
                13, broken);
  EXPECT_GT(broken.width, 0);
  TextMask empty;
  glyphs.render("", 13, empty);
  EXPECT_EQ(empty.width, 0);
  EXPECT_EQ(empty.height, 13);
}

}  // namespace
}  // namespace tessaro::platform::fonts
