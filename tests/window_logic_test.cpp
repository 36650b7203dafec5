// The window's rules without a window: scroll ranges, size snapping at the end of a resize,
// scroll commands with their acceleration, and key codes.
#include <gtest/gtest.h>

#include "display/key_codes.h"
#include "display/scroll.h"

namespace tessaro::display {
namespace {

// 385 x 82 content; outer frame 16 x 39 with a 23-pixel caption; bars 17 wide; a big screen.
WindowGeometry geometry() {
  return windowGeometry(385, 82, 16, 39, 23, 17, 17, 1920, 1040);
}

TEST(WindowGeometry, FullSizesAndClampingToTheWorkArea) {
  WindowGeometry g = geometry();
  EXPECT_EQ(g.fullWidth, 401);
  EXPECT_EQ(g.fullHeight, 121);
  EXPECT_EQ(g.fullWidthWithBar, 418);
  EXPECT_EQ(g.fullHeightWithBar, 138);
  EXPECT_EQ(g.snapWidth, 402);
  EXPECT_EQ(g.snapHeight, 122);
  EXPECT_FALSE(g.clamped);
  WindowGeometry small = windowGeometry(385, 82, 16, 39, 23, 17, 17, 300, 100);
  EXPECT_EQ(small.fullWidth, 300);
  EXPECT_EQ(small.fullHeight, 100);
  EXPECT_TRUE(small.clamped);
}

// One user action on the window and what the rules make of it.
struct Step {
  enum Kind { edges, client, snap, restore } kind;
  bool horizontal = false, vertical = false;  // edges
  int a = 0, b = 0;                           // client size, or outer size for snap
};

struct Expect {
  int hMax, vMax, hPos, vPos;
  bool hEnabled, vEnabled;
};

TEST(ScrollAndSnap, ResizeSequencesEndAsTheRulesSay) {
  WindowGeometry g = geometry();
  struct Case {
    const char* name;
    std::vector<Step> steps;
    Expect state;
    Size snapped;  // the last snap's size
  } cases[] = {
      {"right edge in by 50: a bar of range 50, height grows by the bar",
       {{Step::edges, true, false},
        {Step::client, false, false, 335, 82},
        {Step::snap, false, false, 351, 121}},
       {50, 0, 0, 0, true, false},
       {351, 138}},
      {"and back beyond the content width: full size, no bar",
       {{Step::edges, true, false},
        {Step::client, false, false, 335, 82},
        {Step::snap, false, false, 351, 121},
        {Step::edges, true, false},
        {Step::client, false, false, 400, 65},
        {Step::snap, false, false, 416, 138}},
       {0, 0, 0, 0, false, false},
       {401, 121}},
      {"bottom edge out with nothing scrolled: back to full size",
       {{Step::edges, false, true},
        {Step::client, false, false, 385, 150},
        {Step::snap, false, false, 401, 189}},
       {0, 0, 0, 0, false, false},
       {401, 121}},
      {"bottom edge in: width grows by the bar",
       {{Step::edges, false, true},
        {Step::client, false, false, 385, 60},
        {Step::snap, false, false, 401, 99}},
       {0, 22, 0, 0, false, true},
       {418, 99}},
      {"corner in both ways: both kept",
       {{Step::edges, true, true},
        {Step::client, false, false, 300, 60},
        {Step::snap, false, false, 316, 99}},
       {85, 22, 0, 0, true, true},
       {316, 99}},
      {"corner, then wide enough and tall enough: full size",
       {{Step::edges, true, true},
        {Step::client, false, false, 300, 60},
        {Step::snap, false, false, 402, 122}},
       {85, 22, 0, 0, false, false},
       {401, 121}},
  };
  for (const Case& c : cases) {
    ScrollState s;
    Size last;
    for (const Step& step : c.steps) {
      if (step.kind == Step::edges) sizingEdges(s, step.horizontal, step.vertical);
      if (step.kind == Step::client) clientResized(s, g, step.a, step.b);
      if (step.kind == Step::snap) last = snapSize(s, g, step.a, step.b);
      if (step.kind == Step::restore) minimizedOrRestored(s);
    }
    EXPECT_EQ(s.hMax, c.state.hMax) << c.name;
    EXPECT_EQ(s.vMax, c.state.vMax) << c.name;
    EXPECT_EQ(s.hPos, c.state.hPos) << c.name;
    EXPECT_EQ(s.vPos, c.state.vPos) << c.name;
    EXPECT_EQ(s.hEnabled, c.state.hEnabled) << c.name;
    EXPECT_EQ(s.vEnabled, c.state.vEnabled) << c.name;
    EXPECT_EQ(last, c.snapped) << c.name;
  }
}

TEST(ScrollAndSnap, BarsCountOnlyAfterAnEdgeOrARestore) {
  WindowGeometry g = geometry();
  ScrollState s;
  EXPECT_EQ(clientResized(s, g, 200, 40), (BarsShown{false, false}));
  EXPECT_EQ(s.hMax, 0);
  sizingEdges(s, true, false);
  EXPECT_EQ(clientResized(s, g, 200, 40), (BarsShown{true, false}));
  EXPECT_EQ(s.hMax, 185);
  s.hPos = 180;
  EXPECT_EQ(clientResized(s, g, 300, 40), (BarsShown{true, false}));
  EXPECT_EQ(s.hPos, 85);  // kept within the new range
  s.hEnabled = false;
  minimizedOrRestored(s);  // a range above 0 enables the bar again
  EXPECT_TRUE(s.hEnabled);
  EXPECT_FALSE(s.vEnabled);
  EXPECT_EQ(clientResized(s, g, 385, 40), (BarsShown{false, false}));
  EXPECT_EQ(s.hPos, 0);
  EXPECT_FALSE(s.hEnabled);
}

TEST(ScrollCommands, LineStepsSpeedUpAfterNineAndPagesAreATenth) {
  ScrollState s;
  s.hMax = 300;
  std::vector<int> positions;
  for (int i = 0; i < 14; ++i) {
    scrollBar(s, true, ScrollCode::lineForward);
    positions.push_back(s.hPos);
  }
  EXPECT_EQ(positions, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 14, 18, 23, 29}));
  pointerMoved(s);
  EXPECT_TRUE(scrollBar(s, true, ScrollCode::lineBack));
  EXPECT_EQ(s.hPos, 28);
  EXPECT_TRUE(scrollBar(s, true, ScrollCode::pageForward));
  EXPECT_EQ(s.hPos, 58);
  EXPECT_TRUE(scrollBar(s, true, ScrollCode::thumbPosition, 400));
  EXPECT_EQ(s.hPos, 300);  // clamped
  EXPECT_FALSE(scrollBar(s, true, ScrollCode::other, 10));
  EXPECT_EQ(s.hPos, 300);
}

TEST(ScrollCommands, SmallRangesStopOnPagesAndAfterNineHeldSteps) {
  ScrollState s;
  s.vMax = 9;
  s.vPos = 5;
  EXPECT_FALSE(scrollBar(s, false, ScrollCode::pageForward));
  EXPECT_FALSE(scrollBar(s, false, ScrollCode::pageBack));
  for (int i = 0; i < 9; ++i) scrollBar(s, false, ScrollCode::lineBack);
  EXPECT_EQ(s.vPos, 0);
  s.vPos = 5;
  EXPECT_FALSE(scrollBar(s, false, ScrollCode::lineBack));  // step min(2, 0) = 0
  pointerMoved(s);
  EXPECT_TRUE(scrollBar(s, false, ScrollCode::lineBack));
  EXPECT_EQ(s.vPos, 4);
}

TEST(KeyCodes, NavigationKeysTakeTheirModifierPrefix) {
  struct Case {
    int key;
    bool shift, ctrl;
    int code;
  } cases[] = {
      {keyPageUp, false, false, 0x121}, {keyPageUp, true, false, 0x221},
      {keyPageUp, false, true, 0x321},  {keyPageUp, true, true, 0x421},
      {keyDelete, false, false, 0x12E}, {keyLeft, true, false, 0x225},
      {0x20, false, false, 0},          {0x2F, true, true, 0},
  };
  for (Case c : cases) EXPECT_EQ(navigationCode(c.key, c.shift, c.ctrl), c.code) << c.key;
}

TEST(KeyCodes, AltLettersAndCharacters) {
  EXPECT_EQ(altCode('A'), 0x541);
  EXPECT_EQ(altCode('z'), 0x57A);
  EXPECT_EQ(altCode('1'), 0);
  EXPECT_EQ(altCode('{'), 0);
  EXPECT_EQ(characterCode('f'), 'f');
  EXPECT_EQ(characterCode(27), 27);
  EXPECT_EQ(characterCode(0xE9), 0xE9);
  EXPECT_EQ(characterCode(0x3042), 0);
  EXPECT_EQ(characterCode(0), 0);
}

}  // namespace
}  // namespace tessaro::display
