// The fifteen controls of the status strip: where each sits, the button frame it is drawn in
// and its glyph. What a click does belongs to the program (src/app/status_link).
#pragma once

#include <array>
#include <span>
#include <utility>

#include "display/status_window.h"

namespace tessaro::display {

enum class Glyph {
  none,
  up16,
  down16,
  up24,
  down24,
  up12,
  down12,
  openFolder,
  cross,
  fadeRamp,
};

struct ControlLayout {
  int left, top, right, bottom;  // hit rectangle; a drawn button's frame covers it exactly
  int frameWidth, frameHeight;   // 0: no frame (nothing drawn)
  Glyph glyph;
};

constexpr int StripRow = StripTop + 1;

// In the order they are added to the ControlTable.
constexpr std::array<ControlLayout, 15> StatusControls{{
    {0, StripRow, 135, StripRow + 11, 0, 0, Glyph::none},             // list row 0
    {0, StripRow + 12, 135, StripRow + 23, 0, 0, Glyph::none},        // list row 1
    {0, StripRow + 24, 135, StripRow + 31, 0, 0, Glyph::none},        // list row 2
    {136, StripRow, 152, StripRow + 15, 16, 15, Glyph::up16},         // list up
    {136, StripRow + 16, 152, StripRow + 31, 16, 15, Glyph::down16},  // list down
    {153, StripRow, 177, StripRow + 20, 24, 20, Glyph::openFolder},   // open file
    {153, StripRow + 21, 177, StripRow + 31, 24, 10, Glyph::cross},   // remove or stop
    {178, StripRow, 259, StripRow + 18, 0, 0, Glyph::none},           // target XG
    {260, StripRow, 276, StripRow + 15, 16, 15, Glyph::up16},         // repeat up
    {260, StripRow + 16, 276, StripRow + 31, 16, 15, Glyph::down16},  // repeat down
    {322, StripRow, 346, StripRow + 15, 24, 15, Glyph::up24},         // volume +12
    {322, StripRow + 16, 346, StripRow + 31, 24, 15, Glyph::down24},  // volume -12
    {347, StripRow, 359, StripRow + 15, 12, 15, Glyph::up12},         // volume +3
    {347, StripRow + 16, 359, StripRow + 31, 12, 15, Glyph::down12},  // volume -3
    {360, StripRow, 384, StripRow + 31, 24, 31, Glyph::fadeRamp},     // fade out
}};

// The glyph's pixels as (dx, dy) from its origin. The cross has its rising stroke only for a
// Japanese user.
std::span<const std::pair<int, int>> glyphPixels(Glyph glyph, bool japanese);

// A button: a sunken frame with the glyph moved by (1, 1) when pressed, else a raised one.
void drawButton(StatusWindow& window, const ControlLayout& layout, int left, int top, bool pressed,
                bool japanese);

}  // namespace tessaro::display
