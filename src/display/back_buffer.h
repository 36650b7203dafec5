// BackBuffer: the window's whole content as our own RGB pixel array. Every picture of the
// status window is drawn here first; the window only shows it.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"

namespace tessaro::display {

using platform::Rgb;

// Rows below the content height that are never shown.
constexpr int BufferSpareRows = 32;

struct BackBuffer {
  BackBuffer() = default;
  // A black buffer of width x (height + BufferSpareRows) pixels; height is the content height.
  BackBuffer(int width, int height);

  int width = 0;
  int height = 0;            // content rows (the shown part)
  int totalRows = 0;         // height + BufferSpareRows
  std::vector<uint8_t> rgb;  // row-major, 3 bytes a pixel

  Rgb pixel(int x, int y) const;
};

// One pixel; points outside the buffer are left alone.
void setPixel(BackBuffer& buffer, int x, int y, Rgb colour);
// Rectangle x1..x2, y1..y2, both edges included, clipped to the buffer.
void fillRect(BackBuffer& buffer, int x1, int y1, int x2, int y2, Rgb colour);
// Lays coverage (0 none .. 255 full) of a mask of width x height over the buffer at (x, y).
void blendMask(BackBuffer& buffer, int x, int y, const platform::TextMask& mask, Rgb colour);

}  // namespace tessaro::display
