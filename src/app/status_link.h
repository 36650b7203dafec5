// The status window as the program uses it: created at start-up when a window system is
// there, fed from the App's records, and read by the main loop for keys, wheel notches and
// its own end. Without a window system none of this exists and the program runs console-only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "display/mode_pictures.h"
#include "display/status_painter.h"
#include "display/status_window.h"
#include "platform/platform.h"

namespace tessaro {

struct App;

class StatusLink : public platform::WindowEvents {
 public:
  StatusLink(App& app, platform::GlyphSource& glyphs);

  App& app;
  display::StatusWindow window;
  display::ModePictures pictures{};
  std::unique_ptr<platform::StatusWindowPort> port;  // set while the window was made
  bool created = false;
  int32_t rememberedFlags = -1;  // conventionFlags and repeatCount at the last title repaint
  int32_t rememberedRepeat = -1;

  void key(int code) override { display::putKey(window, code); }
  void wheel(bool up) override { ++(up ? window.wheelUp : window.wheelDown); }
  void leftDown(int x, int y, bool ctrl, bool shift) override;
  void leftUp() override;
  void rightDown(bool ctrl, bool shift) override;
  void dropped(const std::vector<std::string>& paths) override;
  void closed() override {}
};

// Start-up: renders the mode pictures when a window system is there. False when a picture
// cannot be rendered (the message has been printed).
bool buildStatusPictures(App& app);
// Start-up: creates the window, paints it and the idle note grid, releases the console unless
// console mode is asked for, and leaves the always-on-top band.
void openStatusWindow(App& app);

// The window was made and the user has closed it since.
bool windowClosed(const App& app);
// A window is shown now.
bool windowExists(const App& app);
// Handles the window's pending events (main thread only).
void pumpStatusWindow(App& app);
int peekWindowKey(App& app);
int takeWindowKey(App& app);
// Moves ListTop by this turn's wheel notches, carried in accumulator between turns.
void applyWheel(App& app, int& accumulator);
// Rebuilds the title when the cue changed and repaints when the shown state changed.
int updateTitle(App& app);
void releaseStatusControls(App& app);

// The fifteen controls of the strip with their click actions.
void addStatusControls(App& app, StatusLink& link);
// Removes entry index from the cue; later entries move forward.
void removeCueEntry(App& app, int32_t index);
// The file name a cue entry shows: the file it names, entry 0 the song now playing.
std::string cueEntryName(App& app, int32_t entry);

}  // namespace tessaro
