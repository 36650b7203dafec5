// The status window's start-up, what it shows of the session and what the main loop asks of it.
#include "app/status_link.h"

#include "app/program.h"
#include "display/note_cells.h"

namespace tessaro {

namespace {

constexpr const char* readyTitle = "Tessaro,GM : ready ";

// Stands in when the platform offers no text rendering: text is left out.
class NoGlyphs : public platform::GlyphSource {
 public:
  void render(const std::string&, int height, platform::TextMask& mask) override {
    mask = {0, height, {}};
  }
};

// The window with the glyph source it draws its text with.
class OwnedGlyphsView : public WindowView {
 public:
  explicit OwnedGlyphsView(App& app) : WindowView(app, noGlyphs_) {}

 private:
  NoGlyphs noGlyphs_;
};

void printModifiers(App& app, bool ctrl, bool shift) {
  if (ctrl) app.log.print("CTRL+");
  if (shift) app.log.print("SHIFT+");
}

}  // namespace

std::unique_ptr<StatusView> makeStatusView(App& app) {
  if (app.sys.windows == nullptr) return std::make_unique<StatusView>();
  if (app.sys.glyphs == nullptr) return std::make_unique<OwnedGlyphsView>(app);
  return std::make_unique<WindowView>(app, *app.sys.glyphs);
}

WindowView::WindowView(App& app, platform::GlyphSource& glyphs)
    : app(app), window(display::ContentWidth, display::ContentHeight, glyphs) {}

bool WindowView::buildPictures(std::string& failedCode) {
  if (display::buildModePictures(pictures, &failedCode) != 0) return false;
  addStatusControls(app, *this);
  return true;
}

bool WindowView::open() {
  port = app.sys.windows->create(readyTitle, window, *this);
  if (port == nullptr) return false;
  created_ = true;
  window.port = port.get();
  window.menuColour = port->menuColour();
  window.grayTextColour = port->grayTextColour();
  app.exitHandlers.add([this] {
    window.port = nullptr;
    port.reset();
  });
  refresh();
  display::paintIdleGrid(window.buffer);
  display::present(window, 0, display::GridBottom);
  return true;
}

bool WindowView::closedByUser() const {
  return created_ && (port == nullptr || !port->exists());
}

bool WindowView::exists() const {
  return port != nullptr && port->exists();
}

void WindowView::releaseTopmost() {
  if (port != nullptr) port->releaseTopmost();
}

void WindowView::pump() {
  if (exists()) port->pump();
}

int WindowView::takeWheel() {
  return display::takeWheelDown(window) - display::takeWheelUp(window);
}

display::StatusFacts WindowView::facts() {
  display::StatusFacts f;
  f.cueLength = app.cue.length;
  f.listTop = app.view.ListTop;
  f.selectedEntry = app.view.SelectedEntry;
  f.entryName = [this](int32_t entry) { return cueEntryName(app, entry); };
  f.source = app.stage.translator.shown;
  f.target = app.options.target;
  f.repeatCount = app.engine.state.repeatCount;
  f.volumeAdd = app.options.volumeAdd;
  // A reset wipes the module's notes: the note cells lit before it are gone.
  uint32_t resets = app.port.resets.load(std::memory_order_relaxed);
  f.fullRepaint = fullRepaint_ || resets != resetsShown_;
  fullRepaint_ = false;
  resetsShown_ = resets;
  return f;
}

void WindowView::refresh() {
  if (!exists()) return;
  display::StatusFacts f = facts();
  shownMode_ = display::modeIndexOf(f);
  shownRepeat_ = f.repeatCount;
  display::paintStatus(window, f, pictures);
}

void WindowView::update() {
  CueView& view = app.view;
  const FileCue& cue = app.cue;
  const bool paused = app.engine.state.paused;
  if (cue.length != view.titleLength || cue.current != view.titlePosition ||
      paused != titlePaused_) {
    view.titleLength = cue.length;
    view.titlePosition = cue.current;
    titlePaused_ = paused;
    std::string title =
        display::buildTitle(cue.length, cue.current, cue.droppedCount,
                            [this](int32_t entry) { return cueEntryName(app, entry); });
    display::setWindowTitle(window, paused ? title + " - paused" : title);
    refresh();
    return;
  }
  display::StatusFacts shown;
  shown.source = app.stage.translator.shown;
  shown.target = app.options.target;
  if (display::modeIndexOf(shown) != shownMode_ || app.engine.state.repeatCount != shownRepeat_)
    refresh();
}

// The chooser opens where the song playing (or the next to play) lies.
platform::FileChoice WindowView::chooseFile() {
  std::string directory;
  const FileCue& cue = app.cue;
  if (cue.length > 0) {
    const std::string& song =
        cue.entries[static_cast<size_t>(std::min(cue.current, cue.length - 1))];
    platform::PathRules rules = app.sys.environment->pathRules();
    directory = directoryPart(song, rules.separator, rules.skipLeadBytes);
  }
  return port->chooseMidiFile(directory);
}

void WindowView::noteChanged(int channel, int note, bool sounding) {
  window.cells.set(channel, note, sounding);
}

void WindowView::leftDown(int x, int y, bool ctrl, bool shift) {
  display::pressControlsAt(window, x, y);
  printModifiers(app, ctrl, shift);
}

void WindowView::leftUp() {
  display::releaseControls(window);
  refresh();
}

void WindowView::rightDown(bool ctrl, bool shift) {
  printModifiers(app, ctrl, shift);
}

void WindowView::dropped(const std::vector<std::string>& paths) {
  app.commands.dropFiles(paths);
}

std::string cueEntryName(App& app, int32_t entry) {
  std::string name;
  if (entry < 0 || entry >= app.cue.length) return name;
  findFileName(*app.sys.files, app.cue.entries[static_cast<size_t>(entry)], name);
  if (name.empty() && entry == 0) name = app.CurrentSongName;
  return name;
}

}  // namespace tessaro
