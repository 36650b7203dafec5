#include "display/note_cells.h"

namespace tessaro::display {

namespace {

constexpr std::array<uint8_t, 12> octavePattern{0, 130, 0, 130, 0, 0, 100, 0, 100, 0, 100, 0};

bool inGrid(int channel, int note) {
  return channel >= 0 && channel < GridChannels && note >= 0 && note < GridNotes;
}

size_t indexOf(int channel, int note) {
  return static_cast<size_t>(channel) * GridNotes + static_cast<size_t>(note);
}

}  // namespace

uint8_t NotePattern(int note) {
  return octavePattern[static_cast<size_t>(note % 12)];
}

Rgb idleCellColour(int note) {
  return {0, 0, NotePattern(note)};
}

Rgb litCellColour(int note) {
  return {255, 120, NotePattern(note)};
}

void NoteCells::set(int channel, int note, bool lit) {
  if (!inGrid(channel, note)) return;
  lit_[indexOf(channel, note)].store(lit ? 1 : 0, std::memory_order_relaxed);
  changed_.store(true, std::memory_order_relaxed);
}

bool NoteCells::lit(int channel, int note) const {
  return inGrid(channel, note) && lit_[indexOf(channel, note)].load(std::memory_order_relaxed);
}

void NoteCells::clearRows(int y1, int y2) {
  for (int channel = 0; channel < GridChannels; ++channel) {
    int top = cellTop(channel);
    if (top + 1 < y1 || top > y2) continue;
    for (int note = 0; note < GridNotes; ++note)
      lit_[indexOf(channel, note)].store(0, std::memory_order_relaxed);
  }
}

void paintIdleGrid(BackBuffer& buffer) {
  for (int note = 0; note < GridNotes; ++note)
    fillRect(buffer, cellLeft(note), 0, cellLeft(note) + 2, GridBottom, idleCellColour(note));
}

}  // namespace tessaro::display
