// StatusView: what the program asks of the status window. The base class is the headless
// window of a run without a display (and of tests): every call does nothing, so no caller ever
// asks whether there is a window.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace tessaro {

class StatusView {
 public:
  virtual ~StatusView() = default;
  // Start-up: renders the mode pictures; false, with the failing code, when one cannot be.
  virtual bool buildPictures(std::string& /*failedCode*/) { return true; }
  // Start-up: makes the window, paints it and the idle note grid; false when none was made.
  virtual bool open() { return false; }
  // The window was made and the user has closed it since.
  virtual bool closedByUser() const { return false; }
  // A window is shown now.
  virtual bool exists() const { return false; }
  // Leaves the always-on-top band the window was made in.
  virtual void releaseTopmost() {}
  // Handles the window's pending events (main thread only).
  virtual void pump() {}
  // The key the window holds for the main loop, 0 for none; take empties the slot.
  virtual int peekKey() { return 0; }
  virtual int takeKey() { return 0; }
  // Wheel notches since the last call: down minus up.
  virtual int takeWheel() { return 0; }
  // Rebuilds the title when the play list moved, and repaints when what it shows changed.
  virtual void update() {}
  // Repaints the status strip now.
  virtual void refresh() {}
  // The next repaint shows the whole window afresh, wiping the lit note cells.
  virtual void showAllAfresh() {}
  virtual void releaseControls() {}
  // The modal chooser for one existing MIDI file.
  virtual platform::FileChoice chooseFile() { return {}; }
  // A note of the song starts or ends sounding; any thread.
  virtual void noteChanged(int /*channel*/, int /*note*/, bool /*sounding*/) {}
};

}  // namespace tessaro
