// The fifteen controls of the status strip, each turned into its command. The open, fade and
// stop controls put their key into the window's KeySlot, so that a click acts exactly as the
// key typed: the main loop takes it.
#include "app/keys.h"
#include "app/program.h"
#include "app/status_link.h"
#include "display/controls.h"

namespace tessaro {

namespace {

constexpr int keyOpen = 'O';
constexpr int keyFade = 'F';

void putKey(WindowView& view, int code) {
  display::putKey(view.window, code);
  view.refresh();
}

// Only an entry after the one playing can leave the list; the one playing is stopped instead.
void removeOrStop(App& app, WindowView& view) {
  int32_t selected = app.view.SelectedEntry;
  if (selected > app.cue.current && selected < app.cue.length) {
    app.commands.removeEntry(selected);
  } else if (selected >= 0 && selected == app.cue.current) {
    putKey(view, KeyEscape);
  } else {
    view.refresh();
  }
}

}  // namespace

void addStatusControls(App& app, WindowView& view) {
  using Action = std::function<void()>;
  Commands& c = app.commands;
  const Action actions[] = {
      [&c] { c.selectRow(0); },
      [&c] { c.selectRow(1); },
      [&c] { c.selectRow(2); },
      [&c] { c.scrollList(-1); },
      [&c] { c.scrollList(1); },
      [&view] { putKey(view, keyOpen); },
      [&app, &view] { removeOrStop(app, view); },
      [&c] { c.setConversion(Conversion::xg, Echo::quiet); },
      [&c] { c.stepRepeats(1); },
      [&c] { c.stepRepeats(-1); },
      [&c] { c.stepVolume(12); },
      [&c] { c.stepVolume(-12); },
      [&c] { c.stepVolume(3); },
      [&c] { c.stepVolume(-3); },
      [&view] { putKey(view, keyFade); },
  };
  bool japanese = app.sys.environment->japaneseUser();
  for (size_t i = 0; i < display::StatusControls.size(); ++i) {
    const display::ControlLayout& layout = display::StatusControls[i];
    bool isFade = layout.glyph == display::Glyph::fadeRamp;
    auto onDraw = [&app, &view, &layout, isFade, japanese](int left, int top, int pressed) {
      bool sunken = pressed != 0 || (isFade && app.stage.fading());
      display::drawButton(view.window, layout, left, top, sunken, japanese);
    };
    Action action = actions[i];
    display::addControl(
        view.window,
        [action](int, int, int) {
          action();
          return 0;
        },
        onDraw, layout.left, layout.top, layout.right, layout.bottom);
  }
}

}  // namespace tessaro
