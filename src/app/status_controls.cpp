// What a click on each control of the status strip does. Several controls put a key into the
// KeySlot so that the click acts exactly as the key typed: the main loop performs it.
#include <algorithm>
#include <climits>

#include "app/keys.h"
#include "app/program.h"
#include "app/status_link.h"
#include "display/controls.h"

namespace tessaro {

namespace {

constexpr int keyOpen = 'O';
constexpr int keyFade = 'F';

void selectRow(App& app, int row) {
  int32_t entry = app.view.ListTop + row;
  int32_t last = app.cue.length - 1;
  if (row == 0) {
    if (app.view.ListTop > last) return;  // nothing shown there: no change, no repaint
    app.view.SelectedEntry = entry;
  } else {
    app.view.SelectedEntry = entry <= last ? entry : -1;
  }
  paintStatus(app);
}

void moveList(App& app, int step) {
  int32_t& top = app.view.ListTop;
  if (step < 0 && top > 0) --top;
  if (step > 0 && top < app.cue.length - 1) ++top;
  paintStatus(app);
}

// Only an entry after the one playing can leave the cue; the one playing is stopped instead.
void removeOrStop(App& app, StatusLink& link) {
  int32_t selected = app.view.SelectedEntry;
  if (selected > app.cue.current && selected < app.cue.length) {
    removeCueEntry(app, selected);
    if (app.view.SelectedEntry >= app.cue.length) app.view.SelectedEntry = -1;
    updateTitle(app);
    return;
  }
  if (selected >= 0 && selected == app.cue.current) display::putKey(link.window, KeyEscape);
  paintStatus(app);
}

void targetXg(App& app) {
  app.engine.targets.setAll(-1, 0, 0);
  app.engine.state.conventionFlags.fetch_or(8);
  app.options.initialConventionFlags.fetch_or(8);
  setPortConvention(app.port, platform::ModuleConvention::xg);
  paintStatus(app);
}

void changeRepeat(App& app, int step) {
  PlayerState& s = app.engine.state;
  s.repeatSetByUser = 255;
  int32_t count = s.repeatCount;
  if (step > 0) {
    s.repeatCount = count < 0 ? 0 : (count == INT32_MAX ? count : count + 1);
  } else {
    s.repeatCount = std::max(count - 1, 0);
  }
  paintStatus(app);
}

void changeVolume(App& app, int32_t step) {
  int64_t volume = static_cast<int64_t>(app.options.volumeAdd.load()) + step;
  volume = std::clamp<int64_t>(volume, INT32_MIN, INT32_MAX);
  app.options.volumeAdd = static_cast<int32_t>(volume);
  setUserVolume(app.engine, static_cast<int32_t>(volume));
  paintStatus(app);
}

void putKeyAndPaint(App& app, StatusLink& link, int code) {
  display::putKey(link.window, code);
  paintStatus(app);
}

}  // namespace

void removeCueEntry(App& app, int32_t index) {
  FileCue& cue = app.cue;
  if (index < 0 || index >= cue.length) return;
  for (int32_t i = index; i + 1 < cue.length; ++i)
    cue.entries[static_cast<size_t>(i)] = std::move(cue.entries[static_cast<size_t>(i) + 1]);
  cue.entries[static_cast<size_t>(cue.length) - 1].clear();
  --cue.length;
}

void addStatusControls(App& app, StatusLink& link) {
  using Action = std::function<void()>;
  const Action actions[] = {
      [&app] { selectRow(app, 0); },
      [&app] { selectRow(app, 1); },
      [&app] { selectRow(app, 2); },
      [&app] { moveList(app, -1); },
      [&app] { moveList(app, 1); },
      [&app, &link] { putKeyAndPaint(app, link, keyOpen); },
      [&app, &link] { removeOrStop(app, link); },
      [&app] { targetXg(app); },
      [&app] { changeRepeat(app, 1); },
      [&app] { changeRepeat(app, -1); },
      [&app] { changeVolume(app, 12); },
      [&app] { changeVolume(app, -12); },
      [&app] { changeVolume(app, 3); },
      [&app] { changeVolume(app, -3); },
      [&app, &link] { putKeyAndPaint(app, link, keyFade); },
  };
  bool japanese = app.sys.environment->japaneseUser();
  for (size_t i = 0; i < display::StatusControls.size(); ++i) {
    const display::ControlLayout& layout = display::StatusControls[i];
    bool isFade = layout.glyph == display::Glyph::fadeRamp;
    auto onDraw = [&app, &link, &layout, isFade, japanese](int left, int top, int pressed) {
      bool sunken = pressed != 0 || (isFade && app.engine.state.fadeActive != 0);
      display::drawButton(link.window, layout, left, top, sunken, japanese);
    };
    Action action = actions[i];
    display::addControl(
        link.window,
        [action](int, int, int) {
          action();
          return 0;
        },
        onDraw, layout.left, layout.top, layout.right, layout.bottom);
  }
}

}  // namespace tessaro
