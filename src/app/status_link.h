// The status window as the program uses it: made at start-up when a window system is there,
// fed from the session's records, and read by the main loop for keys, wheel notches and its own
// end. Without a window system the headless StatusView stands in and the program runs
// console-only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "control/status_view.h"
#include "display/mode_pictures.h"
#include "display/status_painter.h"
#include "display/status_window.h"
#include "platform/platform.h"

namespace tessaro {

struct App;

class WindowView : public StatusView, public platform::WindowEvents {
 public:
  WindowView(App& app, platform::GlyphSource& glyphs);

  // StatusView
  bool buildPictures(std::string& failedCode) override;
  bool open() override;
  bool closedByUser() const override;
  bool exists() const override;
  void releaseTopmost() override;
  void pump() override;
  int peekKey() override { return display::peekKey(window); }
  int takeKey() override { return display::takeKey(window); }
  int takeWheel() override;
  void update() override;
  void refresh() override;
  void showAllAfresh() override { fullRepaint_ = true; }
  void releaseControls() override { display::releaseControls(window); }
  platform::FileChoice chooseFile() override;
  void noteChanged(int channel, int note, bool sounding) override;

  // WindowEvents
  void key(int code) override { display::putKey(window, code); }
  void wheel(bool up) override { ++(up ? window.wheelUp : window.wheelDown); }
  void leftDown(int x, int y, bool ctrl, bool shift) override;
  void leftUp() override;
  void rightDown(bool ctrl, bool shift) override;
  void dropped(const std::vector<std::string>& paths) override;
  void closed() override {}

  App& app;
  display::StatusWindow window;
  display::ModePictures pictures{};
  std::unique_ptr<platform::StatusWindowPort> port;  // set while the window was made

 private:
  display::StatusFacts facts();

  bool created_ = false;
  bool fullRepaint_ = false;
  uint32_t resetsShown_ = 0;  // the port's reset count at the last paint
  int32_t shownMode_ = -1;    // mode picture and repeat count at the last title repaint
  int32_t shownRepeat_ = -1;
  bool titlePaused_ = false;  // the title says the song is paused
};

// The window when the services hold a window system, else the headless one.
std::unique_ptr<StatusView> makeStatusView(App& app);

// The fifteen controls of the strip, each turned into its command.
void addStatusControls(App& app, WindowView& view);

// The file name a cue entry shows: the file it names, entry 0 the song now playing.
std::string cueEntryName(App& app, int32_t entry);

}  // namespace tessaro
