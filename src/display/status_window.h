// StatusWindow: the record behind the program's one window. It owns the BackBuffer, the note
// cell layer, the KeySlot and WheelCounts the main loop polls, and the ControlTable; it draws
// with the primitives below and hands finished rows to the window port that shows them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "display/back_buffer.h"
#include "display/note_cells.h"
#include "platform/platform.h"

namespace tessaro::display {

constexpr int StripTop = 49;
constexpr int ContentWidth = 385;
constexpr int ContentHeight = StripTop + 33;
constexpr int ControlCapacity = 63;

constexpr Rgb White{255, 255, 255};
constexpr Rgb Black{0, 0, 0};

struct Control {
  int left = 0, top = 0, right = 0, bottom = 0;  // content pixels, all edges included
  int8_t pressed = 0;                            // -1 while the left button holds it
  std::function<int(int x, int y, int pressed)> onClick;
  std::function<void(int left, int top, int pressed)> onDraw;
};

class StatusWindow : public platform::WindowContent {
 public:
  StatusWindow(int width, int height, platform::GlyphSource& glyphs);

  BackBuffer buffer;
  NoteCells cells;
  platform::GlyphSource& glyphs;
  platform::StatusWindowPort* port = nullptr;  // the shown window; none in pixel tests
  Rgb menuColour{212, 208, 200};
  Rgb grayTextColour{128, 128, 128};

  int KeySlot = 0;
  int wheelUp = 0;
  int wheelDown = 0;
  std::vector<Control> controls;

  // WindowContent, read by the window.
  int contentWidth() const override { return buffer.width; }
  int contentHeight() const override { return buffer.height; }
  const uint8_t* pixels() const override { return buffer.rgb.data(); }
  void forEachLitCell(const std::function<void(int, int, int, int, Rgb)>& draw) const override;
  void rowsShown(int y1, int y2) override { cells.clearRows(y1, y2); }
  bool takeCellChange() override { return cells.takeChange(); }
};

// --- Drawing primitives ----------------------------------------------------------------------

void fillRectBoth(StatusWindow& window, int x1, int y1, int x2, int y2, Rgb colour);
// Text with its cell's top-left corner at (x, y).
void drawText(StatusWindow& window, int x, int y, const std::string& text, int height, Rgb colour);
// Shows content rows y1..y2 of the buffer on the window.
void present(StatusWindow& window, int y1, int y2);
void setWindowTitle(StatusWindow& window, const std::string& title);
void drawRaisedFrame(StatusWindow& window, int x1, int y1, int x2, int y2);
void drawSunkenFrame(StatusWindow& window, int x1, int y1, int x2, int y2);

// --- KeySlot and WheelCounts -----------------------------------------------------------------

inline int peekKey(const StatusWindow& window) {
  return window.KeySlot;
}
int takeKey(StatusWindow& window);
inline void putKey(StatusWindow& window, int code) {
  window.KeySlot = code;
}
int takeWheelUp(StatusWindow& window);
int takeWheelDown(StatusWindow& window);

// --- ControlTable ----------------------------------------------------------------------------

// 0, or -1 when the table is full.
int addControl(StatusWindow& window, std::function<int(int, int, int)> onClick,
               std::function<void(int, int, int)> onDraw, int left, int top, int right, int bottom);
int clickControl(StatusWindow& window, int index, int x, int y);
void drawControls(StatusWindow& window);
void releaseControls(StatusWindow& window);
// A left-button press at a content point: every control containing it is pressed and clicked,
// in table order.
void pressControlsAt(StatusWindow& window, int x, int y);

}  // namespace tessaro::display
