#include "display/status_window.h"

namespace tessaro::display {

StatusWindow::StatusWindow(int width, int height, platform::GlyphSource& glyphs)
    : buffer(width, height), glyphs(glyphs) {}

void StatusWindow::forEachLitCell(const std::function<void(int, int, int, int, Rgb)>& draw) const {
  for (int channel = 0; channel < GridChannels; ++channel) {
    for (int note = 0; note < GridNotes; ++note) {
      if (cells.lit(channel, note))
        draw(cellLeft(note), cellTop(channel), 3, 2, litCellColour(note));
    }
  }
}

void fillRectBoth(StatusWindow& window, int x1, int y1, int x2, int y2, Rgb colour) {
  fillRect(window.buffer, x1, y1, x2, y2, colour);
  present(window, y1, y2);
}

void drawText(StatusWindow& window, int x, int y, const std::string& text, int height, Rgb colour) {
  platform::TextMask mask;
  window.glyphs.render(text, height, mask);
  blendMask(window.buffer, x, y, mask, colour);
}

void present(StatusWindow& window, int y1, int y2) {
  if (y2 < y1) return;
  window.cells.clearRows(y1, y2);
  if (window.port != nullptr && window.port->exists()) window.port->showRows(y1, y2);
}

void setWindowTitle(StatusWindow& window, const std::string& title) {
  if (window.port != nullptr && window.port->exists()) window.port->setTitle(title);
}

namespace {

void drawFrame(StatusWindow& window, int x1, int y1, int x2, int y2, Rgb topLeft, Rgb bottomRight) {
  fillRect(window.buffer, x1, y1, x2 - 1, y1, topLeft);
  fillRect(window.buffer, x1, y1, x1, y2 - 1, topLeft);
  fillRect(window.buffer, x1, y2, x2, y2, bottomRight);
  fillRect(window.buffer, x2, y1, x2, y2, bottomRight);
}

}  // namespace

void drawRaisedFrame(StatusWindow& window, int x1, int y1, int x2, int y2) {
  drawFrame(window, x1, y1, x2, y2, White, window.grayTextColour);
}

void drawSunkenFrame(StatusWindow& window, int x1, int y1, int x2, int y2) {
  drawFrame(window, x1, y1, x2, y2, window.grayTextColour, White);
}

int takeKey(StatusWindow& window) {
  int code = window.KeySlot;
  window.KeySlot = 0;
  return code;
}

int takeWheelUp(StatusWindow& window) {
  int count = window.wheelUp;
  window.wheelUp = 0;
  return count;
}

int takeWheelDown(StatusWindow& window) {
  int count = window.wheelDown;
  window.wheelDown = 0;
  return count;
}

int addControl(StatusWindow& window, std::function<int(int, int, int)> onClick,
               std::function<void(int, int, int)> onDraw, int left, int top, int right,
               int bottom) {
  if (window.controls.size() >= ControlCapacity) return -1;
  Control control;
  control.left = left;
  control.top = top;
  control.right = right;
  control.bottom = bottom;
  control.onClick = std::move(onClick);
  control.onDraw = std::move(onDraw);
  window.controls.push_back(std::move(control));
  return 0;
}

int clickControl(StatusWindow& window, int index, int x, int y) {
  if (index < 0 || index >= static_cast<int>(window.controls.size())) return 0;
  Control& control = window.controls[static_cast<size_t>(index)];
  if (!control.onClick) return 0;
  return control.onClick(x, y, control.pressed);
}

void drawControls(StatusWindow& window) {
  for (const Control& control : window.controls) {
    if (control.onDraw) control.onDraw(control.left, control.top, control.pressed);
  }
}

void releaseControls(StatusWindow& window) {
  for (Control& control : window.controls) control.pressed = 0;
}

void pressControlsAt(StatusWindow& window, int x, int y) {
  for (size_t i = 0; i < window.controls.size(); ++i) {
    Control& control = window.controls[i];
    if (x < control.left || x > control.right || y < control.top || y > control.bottom) continue;
    control.pressed = -1;
    clickControl(window, static_cast<int>(i), x - control.left, y - control.top);
  }
}

}  // namespace tessaro::display
