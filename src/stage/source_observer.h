// What a source of events (the file player, the live input) tells whoever shows the playing:
// the window's note grid, and the main thread's chance to handle the window while it waits.
// Every call has a default that does nothing, so a source without a window simply plays.
#pragma once

namespace tessaro {

class SourceObserver {
 public:
  virtual ~SourceObserver() = default;
  // A note of the source (on its own channel, before any translation) starts or ends sounding.
  // Called on the thread that feeds the stage.
  virtual void noteChanged(int /*channel*/, int /*note*/, bool /*sounding*/) {}
  // The calling thread waits: the main thread's chance to handle the window's events.
  virtual void waiting() {}
};

}  // namespace tessaro
