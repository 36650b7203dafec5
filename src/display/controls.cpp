#include "display/controls.h"

#include <vector>

namespace tessaro::display {

namespace {

using Pixels = std::vector<std::pair<int, int>>;

// Rows of (dy, dx list), dx ranges written out.
Pixels fromRows(std::initializer_list<std::pair<int, std::vector<int>>> rows) {
  Pixels pixels;
  for (const auto& [dy, dxs] : rows)
    for (int dx : dxs) pixels.emplace_back(dx, dy);
  return pixels;
}

std::vector<int> span(int from, int to) {
  std::vector<int> values;
  for (int v = from; v <= to; ++v) values.push_back(v);
  return values;
}

std::vector<int> join(std::vector<int> a, const std::vector<int>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const Pixels up16{{6, 8}, {7, 7}, {8, 6}, {9, 7}, {10, 8}};
const Pixels down16{{6, 6}, {7, 7}, {8, 8}, {9, 7}, {10, 6}};
const Pixels up24{{10, 8}, {11, 7}, {12, 6}, {13, 7}, {14, 8}};
const Pixels down24{{10, 6}, {11, 7}, {12, 8}, {13, 7}, {14, 6}};
const Pixels up12{{4, 8}, {5, 7}, {6, 6}, {7, 7}, {8, 8}};
const Pixels down12{{4, 6}, {5, 7}, {6, 8}, {7, 7}, {8, 6}};
const Pixels crossFalling{{10, 3}, {11, 4}, {12, 5}, {13, 6}, {14, 7}};
const Pixels crossBoth{{10, 3}, {11, 4}, {12, 5}, {13, 6}, {14, 7},
                       {14, 3}, {13, 4}, {11, 6}, {10, 7}};

const Pixels openFolder = fromRows({
    {4, {14, 15, 16}},
    {5, {13, 17, 19}},
    {6, {6, 7, 8, 9, 18, 19}},
    {7, join(join({5}, span(10, 15)), {17, 18, 19})},
    {8, {5, 15}},
    {9, {5, 15}},
    {10, join({5}, span(10, 20))},
    {11, {5, 9, 19}},
    {12, {5, 8, 18}},
    {13, {5, 7, 17}},
    {14, {5, 6, 16}},
    {15, span(5, 15)},
});

const Pixels fadeRamp = fromRows({
    {7, {9}},
    {8, {10}},
    {9, {9, 11}},
    {10, {10, 12}},
    {11, {11, 13}},
    {12, {12, 14}},
    {13, span(9, 16)},
});

}  // namespace

std::span<const std::pair<int, int>> glyphPixels(Glyph glyph, bool japanese) {
  switch (glyph) {
    case Glyph::up16:
      return up16;
    case Glyph::down16:
      return down16;
    case Glyph::up24:
      return up24;
    case Glyph::down24:
      return down24;
    case Glyph::up12:
      return up12;
    case Glyph::down12:
      return down12;
    case Glyph::openFolder:
      return openFolder;
    case Glyph::cross:
      return japanese ? crossBoth : crossFalling;
    case Glyph::fadeRamp:
      return fadeRamp;
    case Glyph::none:
      break;
  }
  return {};
}

void drawButton(StatusWindow& window, const ControlLayout& layout, int left, int top, bool pressed,
                bool japanese) {
  if (layout.frameWidth == 0) return;
  int right = left + layout.frameWidth;
  int bottom = top + layout.frameHeight;
  int originX = left;
  int originY = top;
  if (pressed) {
    drawSunkenFrame(window, left, top, right, bottom);
    ++originX;
    ++originY;
  } else {
    drawRaisedFrame(window, left, top, right, bottom);
  }
  for (auto [dx, dy] : glyphPixels(layout.glyph, japanese))
    setPixel(window.buffer, originX + dx, originY + dy, White);
}

}  // namespace tessaro::display
