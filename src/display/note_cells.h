// NoteGrid: 128 note columns by 16 channel rows at the top of the window. The idle grid lives
// in the BackBuffer; the cells the player thread lights go straight to the window through
// NoteCells, a lock-free layer the player writes and the window's main thread shows.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "display/back_buffer.h"

namespace tessaro::display {

constexpr int GridChannels = 16;
constexpr int GridNotes = 128;
constexpr int GridBottom = 48;  // last row of the grid

// Blue level of each note: black keys show a little blue, white keys none.
uint8_t NotePattern(int note);
Rgb idleCellColour(int note);
Rgb litCellColour(int note);
// Column of note n: x 3n + 1 .. 3n + 3; rows of channel ch: y 3ch + 1 .. 3ch + 2.
inline int cellLeft(int note) {
  return 3 * note + 1;
}
inline int cellTop(int channel) {
  return 3 * channel + 1;
}

class NoteCells {
 public:
  // Any thread, never waits: the cell of channel, note is lit or dark.
  void set(int channel, int note, bool lit);
  bool lit(int channel, int note) const;
  // Main thread: rows y1..y2 were shown afresh from the BackBuffer, so their cells are dark.
  void clearRows(int y1, int y2);
  // True once after a change by set().
  bool takeChange() { return changed_.exchange(false, std::memory_order_relaxed); }

 private:
  std::array<std::atomic<uint8_t>, GridChannels * GridNotes> lit_{};
  std::atomic<bool> changed_{false};
};

// The idle grid (every column in its background colour) into the buffer.
void paintIdleGrid(BackBuffer& buffer);

}  // namespace tessaro::display
