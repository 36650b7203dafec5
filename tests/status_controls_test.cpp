// The controls of the status strip clicked as a user clicks them, dropped files, the wheel,
// and the title the window shows.
#include <gtest/gtest.h>

#include "display/controls.h"
#include "support/window_app.h"

namespace tessaro::testing {
namespace {

void fillCue(App& app, int count) {
  for (int i = 0; i < count; ++i) appendEntry(app.cue, std::string(1, static_cast<char>('a' + i)));
}

void click(WindowApp& w, int control) {
  const display::ControlLayout& c = display::StatusControls[static_cast<size_t>(control)];
  w.link().leftDown((c.left + c.right) / 2, (c.top + c.bottom) / 2, false, false);
}

TEST(StatusControls, ListAndRemoveClicksFollowTheirRules) {
  struct Case {
    const char* name;
    int length, current, listTop, selected, control;
    int wantSelected, wantListTop;
    std::vector<std::string> wantCue;
    int wantKey;
    bool repaint;
  } cases[] = {
      {"row 0 selects the top entry", 3, 0, 1, -1, 0, 1, 1, {"a", "b", "c"}, 0, true},
      {"row 0 of an empty list does nothing", 0, 0, 0, -1, 0, -1, 0, {}, 0, false},
      {"row 1 selects the next", 3, 0, 1, -1, 1, 2, 1, {"a", "b", "c"}, 0, true},
      {"row 2 past the end clears", 2, 0, 0, 0, 2, -1, 0, {"a", "b"}, 0, true},
      {"list up at the top", 3, 0, 0, -1, 3, -1, 0, {"a", "b", "c"}, 0, true},
      {"list up", 3, 0, 2, -1, 3, -1, 1, {"a", "b", "c"}, 0, true},
      {"list down at the last", 3, 0, 2, -1, 4, -1, 2, {"a", "b", "c"}, 0, true},
      {"list down", 3, 0, 0, -1, 4, -1, 1, {"a", "b", "c"}, 0, true},
      {"open puts O", 1, 0, 0, -1, 5, -1, 0, {"a"}, 'O', true},
      {"cross on the playing entry puts Escape", 3, 0, 0, 0, 6, 0, 0, {"a", "b", "c"}, 27, true},
      {"cross on a later entry removes it", 3, 0, 0, 1, 6, 1, 0, {"a", "c"}, 0, true},
      {"cross on the last entry leaves no selection", 3, 0, 2, 2, 6, -1, 2, {"a", "b"}, 0, true},
      {"cross on an earlier entry only repaints", 3, 1, 0, 0, 6, 0, 0, {"a", "b", "c"}, 0, true},
      {"cross without selection only repaints", 3, 0, 0, -1, 6, -1, 0, {"a", "b", "c"}, 0, true},
      {"fade puts F", 1, 0, 0, -1, 14, -1, 0, {"a"}, 'F', true},
  };
  for (const Case& c : cases) {
    WindowApp w;
    w.open();
    fillCue(w.app, c.length);
    w.app.cue.current = c.current;
    w.app.view.ListTop = c.listTop;
    w.app.view.SelectedEntry = c.selected;
    size_t shownBefore = w.port().shown.size();
    click(w, c.control);
    EXPECT_EQ(w.app.view.SelectedEntry, c.wantSelected) << c.name;
    EXPECT_EQ(w.app.view.ListTop, c.wantListTop) << c.name;
    std::vector<std::string> cue(w.app.cue.entries.begin(),
                                 w.app.cue.entries.begin() + w.app.cue.length);
    EXPECT_EQ(cue, c.wantCue) << c.name;
    EXPECT_EQ(display::peekKey(w.link().window), c.wantKey) << c.name;
    EXPECT_EQ(w.port().shown.size() > shownBefore, c.repaint) << c.name;
  }
}

TEST(StatusControls, RemovingRebuildsTheTitle) {
  WindowApp w;
  w.open();
  fillCue(w.app, 3);
  w.app.status->update();
  w.app.view.SelectedEntry = 2;
  click(w, 6);
  ASSERT_GE(w.port().titles.size(), 2u);
  EXPECT_EQ(w.app.view.titleLength, 2);
}

TEST(StatusControls, TargetRepeatAndVolumeButtons) {
  WindowApp w;
  w.open();
  PlayerState& s = w.app.engine.state;
  w.app.options.target = Target::gm;
  w.log.clearCaptured();
  click(w, 7);
  EXPECT_EQ(w.app.options.target, Target::xg);
  EXPECT_EQ(w.out(), "");

  struct Step {
    int control;
    int32_t repeat, volume;
  } steps[] = {{9, 0, 0},  {8, 1, 0},   {8, 2, 0},  {10, 2, 12},
               {11, 2, 0}, {13, 2, -3}, {12, 2, 0}, {11, 2, -12}};
  for (Step step : steps) {
    click(w, step.control);
    EXPECT_EQ(s.repeatCount, step.repeat) << step.control;
    EXPECT_EQ(w.app.options.volumeAdd, step.volume) << step.control;
    EXPECT_EQ(w.app.stage.volumeOffset(), step.volume) << step.control;
  }
  EXPECT_EQ(s.repeatSetByUser, 255);
  s.repeatCount = -3;
  click(w, 8);
  EXPECT_EQ(s.repeatCount, 0);
}

TEST(StatusControls, PressedButtonsAreSunkenUntilReleasedAndFadeWhileFading) {
  WindowApp w;
  w.open();
  const display::ControlLayout& fade = display::StatusControls[14];
  const display::ControlLayout& up = display::StatusControls[8];
  auto corner = [&](const display::ControlLayout& c) {
    return w.link().window.buffer.pixel(c.left, c.top);
  };
  const platform::Rgb shadow = w.port().grayTextColour();
  EXPECT_EQ(corner(up), display::White);
  click(w, 8);
  EXPECT_EQ(corner(up), shadow);  // drawn sunken while held
  w.link().leftUp();
  EXPECT_EQ(corner(up), display::White);
  click(w, 14);
  w.app.stage.startFade();  // the main loop's answer to the F key
  w.link().leftUp();
  EXPECT_EQ(corner(fade), shadow);
  w.app.stage.endFade();
  w.app.status->refresh();
  EXPECT_EQ(corner(fade), display::White);
}

TEST(StatusControls, ClicksAndRightClicksPrintTheirModifiers) {
  WindowApp w;
  w.open();
  w.log.clearCaptured();
  w.link().leftDown(0, 0, true, true);
  w.link().rightDown(false, true);
  w.link().rightDown(true, false);
  EXPECT_EQ(w.out(), "CTRL+SHIFT+SHIFT+CTRL+");
}

TEST(DroppedFiles, JoinTheCueUpToOneHundredEntries) {
  WindowApp w;
  w.open();
  fillCue(w.app, 99);
  w.log.clearCaptured();
  w.link().dropped({"/m/x.mid", std::string(5000, 'p'), "/m/y.mid", "/m/z.mid"});
  EXPECT_EQ(w.app.cue.length, 100);
  EXPECT_EQ(w.app.cue.entries[99], "/m/x.mid");
  EXPECT_EQ(w.out(), "Path Too Long.\n");
}

TEST(Wheel, MovesTheListOneRepaintPerNotchOrAllAtOnceOnOldSystems) {
  struct Case {
    bool old;
    int down, up, startTop;
    int wantTop;
    size_t wantPaints;
  } cases[] = {
      {false, 4, 0, 0, 2, 4}, {true, 4, 0, 0, 2, 1}, {false, 0, 3, 1, 0, 3},
      {false, 2, 2, 1, 1, 0}, {true, 1, 5, 2, 0, 1},
  };
  for (Case c : cases) {
    WindowApp w;
    w.open();
    fillCue(w.app, 3);
    w.app.OldWindows = c.old;
    w.app.view.ListTop = c.startTop;
    for (int i = 0; i < c.down; ++i) w.link().wheel(false);
    for (int i = 0; i < c.up; ++i) w.link().wheel(true);
    size_t before = w.port().shown.size();
    int accumulator = 0;
    applyWheel(w.app, accumulator);
    EXPECT_EQ(w.app.view.ListTop, c.wantTop);
    EXPECT_EQ(w.port().shown.size() - before, c.wantPaints);
    EXPECT_EQ(accumulator, 0);
  }
}

TEST(WindowTitle, RebuiltWhenTheCueChangesAndRepaintedWhenShownStateChanges) {
  WindowApp w;
  w.open();
  TempFile a(Bytes{1}, "first.mid"), b(Bytes{1}, "second.mid");
  appendEntry(w.app.cue, a.path());
  appendEntry(w.app.cue, b.path());
  appendEntry(w.app.cue, "/no/such/file.mid");
  w.app.status->update();
  ASSERT_EQ(w.port().titles.size(), 1u);
  EXPECT_EQ(w.port().titles[0], "first.mid < second.mid < ");
  size_t shown = w.port().shown.size();
  w.app.status->update();
  EXPECT_EQ(w.port().shown.size(), shown);  // nothing changed: no repaint
  w.app.engine.state.repeatCount = 3;
  w.app.status->update();
  EXPECT_EQ(w.port().shown.size(), shown + 1);
  EXPECT_EQ(w.port().titles.size(), 1u);
  // Entry 0 that names no file shows the song being played.
  w.app.cue.entries[0] = "/gone.mid";
  w.app.CurrentSongName = "gone.mid";
  EXPECT_EQ(cueEntryName(w.app, 0), "gone.mid");
  EXPECT_EQ(cueEntryName(w.app, 2), "");
}

}  // namespace
}  // namespace tessaro::testing
