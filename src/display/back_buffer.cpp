#include "display/back_buffer.h"

#include <algorithm>

namespace tessaro::display {

BackBuffer::BackBuffer(int width, int height)
    : width(std::max(width, 0)),
      height(std::max(height, 0)),
      totalRows(std::max(height, 0) + BufferSpareRows),
      rgb(static_cast<size_t>(this->width) * static_cast<size_t>(totalRows) * 3, 0) {}

Rgb BackBuffer::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= totalRows) return {};
  const uint8_t* p = &rgb[(static_cast<size_t>(y) * static_cast<size_t>(width) + x) * 3];
  return {p[0], p[1], p[2]};
}

void setPixel(BackBuffer& buffer, int x, int y, Rgb colour) {
  if (x < 0 || y < 0 || x >= buffer.width || y >= buffer.totalRows) return;
  uint8_t* p = &buffer.rgb[(static_cast<size_t>(y) * static_cast<size_t>(buffer.width) + x) * 3];
  p[0] = colour.r;
  p[1] = colour.g;
  p[2] = colour.b;
}

void fillRect(BackBuffer& buffer, int x1, int y1, int x2, int y2, Rgb colour) {
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, buffer.width - 1);
  y2 = std::min(y2, buffer.totalRows - 1);
  for (int y = y1; y <= y2; ++y) {
    uint8_t* p = &buffer.rgb[(static_cast<size_t>(y) * static_cast<size_t>(buffer.width) + x1) * 3];
    for (int x = x1; x <= x2; ++x, p += 3) {
      p[0] = colour.r;
      p[1] = colour.g;
      p[2] = colour.b;
    }
  }
}

namespace {

uint8_t mix(uint8_t under, uint8_t over, int alpha) {
  return static_cast<uint8_t>(under + ((over - under) * alpha + 127) / 255);
}

}  // namespace

void blendMask(BackBuffer& buffer, int x, int y, const platform::TextMask& mask, Rgb colour) {
  for (int row = 0; row < mask.height; ++row) {
    int by = y + row;
    if (by < 0 || by >= buffer.totalRows) continue;
    for (int col = 0; col < mask.width; ++col) {
      int bx = x + col;
      if (bx < 0 || bx >= buffer.width) continue;
      int alpha = mask.coverage[static_cast<size_t>(row) * static_cast<size_t>(mask.width) + col];
      if (alpha == 0) continue;
      uint8_t* p =
          &buffer.rgb[(static_cast<size_t>(by) * static_cast<size_t>(buffer.width) + bx) * 3];
      p[0] = mix(p[0], colour.r, alpha);
      p[1] = mix(p[1], colour.g, alpha);
      p[2] = mix(p[2], colour.b, alpha);
    }
  }
}

}  // namespace tessaro::display
