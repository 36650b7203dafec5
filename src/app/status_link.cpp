// The status window's start-up, its hooks into the App and what the main loop asks of it.
#include "app/status_link.h"

#include <thread>

#include "app/program.h"
#include "display/note_cells.h"

namespace tessaro {

namespace {

constexpr const char* readyTitle = "Tessaro,GM : ready ";
constexpr int consoleFlushLimit = 4096;

// Stands in when the platform offers no text rendering: text is left out.
class NoGlyphs : public platform::GlyphSource {
 public:
  void render(const std::string&, int height, platform::TextMask& mask) override {
    mask = {0, height, {}};
  }
};

NoGlyphs noGlyphs;

StatusLink* linkOf(const App& app) {
  return app.status.get();
}

display::StatusFacts factsOf(App& app) {
  display::StatusFacts f;
  f.cueLength = app.cue.length;
  f.listTop = app.view.ListTop;
  f.selectedEntry = app.view.SelectedEntry;
  f.entryName = [&app](int32_t entry) { return cueEntryName(app, entry); };
  const PlayerState& s = app.engine.state;
  f.gsDetected = s.gsDetected != 0;
  f.xgDetected = s.xgDetected != 0;
  f.undetected = s.undetected != 0;
  f.toXg = app.engine.targets.toXg[0] != 0;
  f.toGm = app.engine.targets.toGm[0] != 0;
  f.toGs = app.engine.targets.toGs[0] != 0;
  f.repeatCount = s.repeatCount;
  f.volumeAdd = app.options.volumeAdd;
  f.fullRepaint = app.fullRepaintRequest.exchange(false);
  return f;
}

void paint(App& app) {
  StatusLink* link = linkOf(app);
  if (link == nullptr || !windowExists(app)) return;
  display::paintStatus(link->window, factsOf(app), link->pictures);
}

void printModifiers(App& app, bool ctrl, bool shift) {
  if (ctrl) app.log.print("CTRL+");
  if (shift) app.log.print("SHIFT+");
}

// The modal chooser; the chosen file joins the cue. True when a file was added.
bool fileDialog(App& app) {
  StatusLink* link = linkOf(app);
  if (link == nullptr || !windowExists(app)) return false;
  bool idle = app.cue.length == 0;
  platform::FileChoice choice = link->port->chooseMidiFile();
  bool added = false;
  if (choice.result == platform::FileChoice::Result::chosen) {
    added = appendEntry(app.cue, choice.path);
    if (!added) app.log.print("Path Too Long.\n");
  } else {
    app.log.print("\nFailed Opening File-Open Dialog Box.\n");
    if (choice.result == platform::FileChoice::Result::failed)
      app.log.print("%s\n", choice.error.c_str());
  }
  display::releaseControls(link->window);
  if (!idle && added) {
    updateTitle(app);
  } else {
    paint(app);
  }
  return added;
}

// Console keys typed before the window appeared are dropped.
void flushConsole(App& app) {
  for (int i = 0; i < consoleFlushLimit && app.sys.console->readKey() != 0; ++i) {
  }
}

void wireEngine(App& app, StatusLink& link) {
  display::NoteCells& cells = link.window.cells;
  app.engine.drawNoteCell = [&cells](int channel, int note, bool sounding) {
    cells.set(channel, note, sounding);
  };
  // The player thread pumps too while it waits; only the main thread may touch the window.
  std::thread::id mainThread = std::this_thread::get_id();
  app.engine.pumpWindowMessages = [&app, mainThread] {
    if (std::this_thread::get_id() == mainThread) pumpStatusWindow(app);
  };
}

}  // namespace

StatusLink::StatusLink(App& app, platform::GlyphSource& glyphs)
    : app(app), window(display::ContentWidth, display::ContentHeight, glyphs) {}

void StatusLink::leftDown(int x, int y, bool ctrl, bool shift) {
  display::pressControlsAt(window, x, y);
  printModifiers(app, ctrl, shift);
}

void StatusLink::leftUp() {
  display::releaseControls(window);
  paint(app);
}

void StatusLink::rightDown(bool ctrl, bool shift) {
  printModifiers(app, ctrl, shift);
}

void StatusLink::dropped(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    if (path.size() > CuePathLimit) {
      app.log.print("Path Too Long.\n");
    } else if (app.cue.length < CueCapacity) {
      appendEntry(app.cue, path);
    }
  }
}

bool buildStatusPictures(App& app) {
  if (app.sys.windows == nullptr) return true;
  platform::GlyphSource& glyphs = app.sys.glyphs != nullptr ? *app.sys.glyphs : noGlyphs;
  app.status = std::make_unique<StatusLink>(app, glyphs);
  std::string code;
  if (display::buildModePictures(app.status->pictures, &code) != 0) {
    app.log.print("No corresponding function <%s>\n", code.c_str());
    return false;
  }
  addStatusControls(app, *app.status);
  return true;
}

void openStatusWindow(App& app) {
  StatusLink* link = linkOf(app);
  if (link == nullptr) return;
  link->port = app.sys.windows->create(readyTitle, link->window, *link);
  if (link->port == nullptr) return;
  link->created = true;
  link->window.port = link->port.get();
  link->window.menuColour = link->port->menuColour();
  link->window.grayTextColour = link->port->grayTextColour();
  flushConsole(app);
  app.exitHandlers.add([link] {
    link->window.port = nullptr;
    link->port.reset();
  });
  wireEngine(app, *link);
  app.paintStatusHook = [&app] { paint(app); };
  app.fileDialogHook = [&app] { return fileDialog(app); };
  paint(app);
  display::paintIdleGrid(link->window.buffer);
  display::present(link->window, 0, display::GridBottom);
  if (!app.options.consoleMode) {
    app.sys.console->release();
    app.ConsoleDetached = true;
  }
  link->port->releaseTopmost();
}

bool windowClosed(const App& app) {
  const StatusLink* link = linkOf(app);
  return link != nullptr && link->created && (link->port == nullptr || !link->port->exists());
}

bool windowExists(const App& app) {
  const StatusLink* link = linkOf(app);
  return link != nullptr && link->port != nullptr && link->port->exists();
}

void pumpStatusWindow(App& app) {
  if (windowExists(app)) app.status->port->pump();
}

int peekWindowKey(App& app) {
  return app.status != nullptr ? display::peekKey(app.status->window) : 0;
}

int takeWindowKey(App& app) {
  return app.status != nullptr ? display::takeKey(app.status->window) : 0;
}

void applyWheel(App& app, int& accumulator) {
  StatusLink* link = linkOf(app);
  if (link == nullptr) return;
  accumulator += display::takeWheelDown(link->window) - display::takeWheelUp(link->window);
  int32_t& top = app.view.ListTop;
  int32_t last = app.cue.length - 1;
  if (accumulator != 0 && app.OldWindows) {
    top = std::max(std::min(top + accumulator, last), 0);
    paint(app);
    accumulator = 0;
  }
  while (accumulator < 0) {
    if (top > 0) --top;
    paint(app);
    ++accumulator;
  }
  while (accumulator > 0) {
    if (top < last) ++top;
    paint(app);
    --accumulator;
  }
}

int updateTitle(App& app) {
  StatusLink* link = linkOf(app);
  if (link == nullptr) return 0;
  CueView& view = app.view;
  const PlayerState& s = app.engine.state;
  if (app.cue.length != view.titleLength || app.cue.current != view.titlePosition) {
    view.titleLength = app.cue.length;
    view.titlePosition = app.cue.current;
    display::setWindowTitle(
        link->window,
        display::buildTitle(app.cue.length, app.cue.current, app.cue.droppedCount,
                            [&app](int32_t entry) { return cueEntryName(app, entry); }));
    link->rememberedFlags = s.conventionFlags;
    link->rememberedRepeat = s.repeatCount;
    paint(app);
  }
  if (s.conventionFlags != link->rememberedFlags || s.repeatCount != link->rememberedRepeat) {
    link->rememberedFlags = s.conventionFlags;
    link->rememberedRepeat = s.repeatCount;
    paint(app);
  }
  return 0;
}

void releaseStatusControls(App& app) {
  if (app.status != nullptr) display::releaseControls(app.status->window);
}

std::string cueEntryName(App& app, int32_t entry) {
  std::string name;
  if (entry < 0 || entry >= app.cue.length) return name;
  findFileName(*app.sys.files, app.cue.entries[static_cast<size_t>(entry)], name);
  if (name.empty() && entry == 0) name = app.CurrentSongName;
  return name;
}

}  // namespace tessaro
