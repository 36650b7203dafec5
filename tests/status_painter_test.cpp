// The status strip as painted into the back buffer: the list rows, the selection, the mode
// picture and its labels, the repeat and volume texts, and the window title.
#include <gtest/gtest.h>

#include "display/status_painter.h"
#include "support/fake_glyphs.h"
#include "support/fake_window.h"

namespace tessaro::display {
namespace {

using testing::BlockGlyphs;

class NoGlyphs : public platform::GlyphSource {
 public:
  void render(const std::string&, int height, platform::TextMask& mask) override {
    mask = {0, height, {}};
  }
};

struct Strip {
  BlockGlyphs glyphs;
  StatusWindow window{ContentWidth, ContentHeight, glyphs};
  ModePictures pictures{};
  StatusFacts facts;
  testing::FakeWindowPort port;

  Strip() {
    window.port = &port;
    facts.entryName = [](int32_t e) { return "song" + std::to_string(e) + ".mid"; };
  }
  void paint() { paintStatus(window, facts, pictures); }
  Rgb at(int x, int y) const { return window.buffer.pixel(x, y); }
  // Whether list row i shows text: the entry number's last digit is a block at x 8.
  bool rowShown(int i) const { return at(8, StripTop + 1 + 12 * i + 5) == White; }
};

TEST(StatusList, ShowsUpToThreeRowsFromListTop) {
  struct Case {
    int32_t length, listTop;
    std::vector<bool> rows;
  } cases[] = {
      {0, 0, {false, false, false}}, {1, 0, {true, false, false}}, {2, 0, {true, true, false}},
      {3, 0, {true, true, true}},    {9, 4, {true, true, true}},   {3, 2, {true, false, false}},
  };
  for (const Case& c : cases) {
    Strip s;
    s.facts.cueLength = c.length;
    s.facts.listTop = c.listTop;
    s.paint();
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(s.rowShown(i), c.rows[static_cast<size_t>(i)])
          << "length " << c.length << " top " << c.listTop << " row " << i;
  }
}

TEST(StatusList, RowTextIsNumberedFromOneAtRowTopMinusOne) {
  Strip s;
  s.facts.cueLength = 12;
  s.facts.listTop = 9;
  s.paint();
  EXPECT_EQ(s.glyphs.calls[0], (BlockGlyphs::Call{" 10: song9.mid", 13}));
  EXPECT_EQ(s.glyphs.calls[2], (BlockGlyphs::Call{" 12: song11.mid", 13}));
  // Row 1's text cell starts at y 61: its block rows are 62 .. 72.
  EXPECT_EQ(s.at(4, 61), Black);
  EXPECT_EQ(s.at(4, 62), White);
  EXPECT_EQ(s.at(4, 72), White);
}

TEST(StatusList, SelectionBarCoversItsRowOnly) {
  struct Case {
    int32_t selected;
    int rowTop;
  } cases[] = {{0, 50}, {1, 62}, {2, 74}};
  for (Case c : cases) {
    Strip s;
    s.facts.cueLength = 3;
    s.facts.selectedEntry = c.selected;
    s.paint();
    EXPECT_EQ(s.at(135, c.rowTop), SelectionColour);
    EXPECT_EQ(s.at(0, c.rowTop), SelectionColour);
    EXPECT_EQ(s.at(135, std::min(c.rowTop + 11, 81)), SelectionColour);
    EXPECT_NE(s.at(135, c.rowTop - 1), SelectionColour);
    if (c.rowTop + 12 <= 81) {
      EXPECT_NE(s.at(135, c.rowTop + 12), SelectionColour);
    }
    EXPECT_EQ(s.at(136, c.rowTop), Black);
  }
}

TEST(StatusList, LongNameIsCutAtX135) {
  Strip s;
  s.facts.cueLength = 1;
  s.facts.entryName = [](int32_t) { return std::string(80, 'x'); };
  s.paint();
  EXPECT_EQ(s.at(134, 55), White);
  for (int x = 136; x < 153; ++x) EXPECT_EQ(s.at(x, 55), Black) << x;
}

// The source and target of a mode index's two parts.
SongConvention sourceOf(int source) {
  return source == 1   ? SongConvention::gs
         : source == 2 ? SongConvention::xg
                       : SongConvention::undecided;
}
Target targetOf(int target) {
  return target == 2 ? Target::xg : target == 3 ? Target::gm : Target::none;
}

TEST(ModePanel, EachPictureIsPlacedAt153By50WithItsFirst124Columns) {
  for (int mode : BuiltModes) {
    NoGlyphs glyphs;
    StatusWindow window(ContentWidth, ContentHeight, glyphs);
    ModePictures pictures{};
    for (int m : BuiltModes)
      for (size_t i = 0; i < pictures[static_cast<size_t>(m)].red.size(); ++i) {
        pictures[static_cast<size_t>(m)].red[i] = static_cast<uint8_t>(m);
        pictures[static_cast<size_t>(m)].green[i] = static_cast<uint8_t>(i % 128);
        pictures[static_cast<size_t>(m)].blue[i] = static_cast<uint8_t>(i / 128);
      }
    StatusFacts facts;
    int source = mode & 3, target = mode >> 2;
    if (target == 1) continue;  // pictures of a GS target, which no option chooses
    facts.source = sourceOf(source);
    facts.target = targetOf(target);
    ASSERT_EQ(modeIndexOf(facts), mode);
    paintStatus(window, facts, pictures);
    for (int row = 0; row < 32; ++row) {
      for (int k = 0; k < 124; ++k)
        ASSERT_EQ(
            window.buffer.pixel(153 + k, 50 + row),
            (Rgb{static_cast<uint8_t>(mode), static_cast<uint8_t>(k), static_cast<uint8_t>(row)}))
            << mode << " " << k << "," << row;
      EXPECT_EQ(window.buffer.pixel(277, 50 + row), Black);
    }
  }
}

TEST(ModePanel, IndexFollowsSourceAndTarget) {
  using S = SongConvention;
  struct Case {
    SongConvention source;
    Target target;
    int mode;
  } cases[] = {
      {S::gs, Target::xg, 9},          {S::gs, Target::gm, 13},       {S::gs, Target::none, 1},
      {S::xg, Target::xg, 10},         {S::xg, Target::gm, 14},       {S::xg, Target::none, 2},
      {S::undecided, Target::xg, 8},   {S::undecided, Target::gm, 0}, {S::none, Target::none, 0},
      {S::undecided, Target::none, 0}, {S::none, Target::xg, 8},
  };
  for (const Case& c : cases) {
    StatusFacts f;
    f.source = c.source;
    f.target = c.target;
    EXPECT_EQ(modeIndexOf(f), c.mode);
  }
}

TEST(ModePanel, LabelsAreWhiteOrShadow) {
  const Rgb shadow{128, 128, 128};
  using S = SongConvention;
  struct Case {
    SongConvention song;
    Target target;
    const char* source;
    Rgb sourceColour;
    const char* targetText;  // nullptr: none
    Rgb targetColour;
  } cases[] = {
      {S::gs, Target::none, "88GS", White, nullptr, {}},
      {S::xg, Target::none, " XG ", White, nullptr, {}},
      {S::none, Target::xg, "88GS", shadow, "XG", White},
      {S::none, Target::gm, "88GS", shadow, "GM", shadow},
      {S::undecided, Target::gm, "88GS", shadow, "GM", White},
      {S::gs, Target::gm, "88GS", White, "GM", White},
  };
  for (const Case& c : cases) {
    Strip s;
    s.facts.source = c.song;
    s.facts.target = c.target;
    s.paint();
    ASSERT_GE(s.glyphs.calls.size(), 1u);
    EXPECT_EQ(s.glyphs.calls[0], (BlockGlyphs::Call{c.source, 15}));
    int sourceX = c.source[0] == ' ' ? 188 : 184;
    EXPECT_EQ(s.at(sourceX, StripTop + 3), c.sourceColour);
    if (c.targetText != nullptr) {
      EXPECT_EQ(s.glyphs.calls[1], (BlockGlyphs::Call{c.targetText, 15}));
      EXPECT_EQ(s.at(235, StripTop + 3), c.targetColour);
    } else {
      EXPECT_EQ(s.glyphs.calls[1].text.substr(0, 6), "repeat");
    }
  }
}

TEST(StatusTexts, RepeatShowsCountPlusOneAndVolumeItsSign) {
  struct Case {
    int32_t repeat, volume;
    const char* repeatText;
    const char* volumeText;
  } cases[] = {
      {0, 0, "repeat  1", " +0"},
      {4, -12, "repeat  5", "-12"},
      {99, 3, "repeat100", " +3"},
      {1000, 120, "repeat1001", "+120"},
  };
  for (const Case& c : cases) {
    Strip s;
    s.facts.repeatCount = c.repeat;
    s.facts.volumeAdd = c.volume;
    s.paint();
    std::vector<BlockGlyphs::Call> expected{
        {"88GS", 15}, {c.repeatText, 13}, {"vol", 13}, {c.volumeText, 16}};
    EXPECT_EQ(s.glyphs.calls, expected);
  }
  Strip s;
  s.paint();
  EXPECT_EQ(s.at(199 + 8 * 4, StripTop + 18 + 1), White);  // the count's digit
  EXPECT_EQ(s.at(288, StripTop + 2), White);               // "vol"
  EXPECT_EQ(s.at(292, StripTop + 15 + 14), White);         // "+" of the volume, height 16
}

// In a font of 8 pixels a character "repeat100" starts at 188 and ends before the repeat
// buttons' frame at 260; a count too wide even from 178 is cut at the frame.
TEST(StatusTexts, RepeatEndsLeftOfTheRepeatButtons) {
  struct Case {
    int32_t repeat;
    int firstInk;
  } cases[] = {{99, 188}, {99999, 178}};
  for (const Case& c : cases) {
    Strip s;
    s.glyphs.advance = 8;
    s.facts.repeatCount = c.repeat;
    s.paint();
    const int y = StripTop + 21;
    EXPECT_EQ(s.at(c.firstInk - 1, y), Black) << c.repeat;
    EXPECT_EQ(s.at(c.firstInk, y), White) << c.repeat;
    for (int x = 261; x < 266; ++x) EXPECT_EQ(s.at(x, y), Black) << c.repeat << " at " << x;
  }
}

TEST(StatusStrip, SeparatorBackgroundAndPresentedRows) {
  Strip s;
  fillRect(s.window.buffer, 0, 50, 384, 81, {9, 9, 9});
  s.paint();
  EXPECT_EQ(s.at(0, StripTop), (Rgb{212, 208, 200}));
  EXPECT_EQ(s.at(384, StripTop), (Rgb{212, 208, 200}));
  EXPECT_EQ(s.at(100, 80), Black);
  EXPECT_EQ(s.at(384, 81), Black);
  s.facts.fullRepaint = true;
  s.paint();
  EXPECT_EQ(s.port.shown, (std::vector<std::pair<int, int>>{{49, 81}, {0, 81}}));
}

TEST(WindowTitle, ListsTheSongsToComeAndThePosition) {
  auto names = [](std::vector<std::string> list) {
    return [list](int32_t i) { return list[static_cast<size_t>(i)]; };
  };
  struct Case {
    std::vector<std::string> entries;
    int32_t current, dropped;
    std::string title;
  } cases[] = {
      {{"b.mid", "c.mid", "d.mid"}, 0, 2, "b.mid < c.mid < d.mid (3/5)"},
      {{"a.mid", "b.mid"}, 0, 0, "a.mid < b.mid"},
      {{"a.mid", "b.mid"}, 0, 2, "a.mid < b.mid (3/4)"},
      {{"a.mid", "b.mid", "c.mid"}, 1, 0, "b.mid < c.mid"},
      {{"a.mid"}, 0, 0, "a.mid"},
      {{"", "x.mid"}, 0, 0, " < x.mid"},
      // Names pass 35 characters: " ..." and no further names, however short.
      {{"a-very-long-file-name-number-one.mid", "b.mid", "c.mid"},
       0,
       0,
       "a-very-long-file-name-number-one.mid < ..."},
      {{"0123456789012345678901234567.mid", "b.mid", "c.mid"},
       0,
       0,
       "0123456789012345678901234567.mid < b.mid < ..."},
      // Characters, not bytes: twelve three-byte characters count as twelve.
      {{"日本語の曲名です一二三四.mid", "b.mid"}, 0, 0, "日本語の曲名です一二三四.mid < b.mid"},
  };
  for (const Case& c : cases) {
    int32_t length = static_cast<int32_t>(c.entries.size());
    EXPECT_EQ(buildTitle(length, c.current, c.dropped, names(c.entries)), c.title);
  }
}

}  // namespace
}  // namespace tessaro::display
