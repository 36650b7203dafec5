// A glyph source for pixel tests: every character but the space is a solid block three pixels
// wide in a cell four pixels wide (or as wide as a test sets), filling the cell's rows 1 .. height
// - 2. Text placement and colour can then be read off the buffer exactly, whatever fonts the
// machine has.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace tessaro::testing {

class BlockGlyphs : public platform::GlyphSource {
 public:
  int advance = 4;
  void render(const std::string& text, int cellHeight, platform::TextMask& mask) override {
    calls.push_back({text, cellHeight});
    mask.width = advance * static_cast<int>(text.size());
    mask.height = cellHeight;
    mask.coverage.assign(static_cast<size_t>(mask.width * mask.height), 0);
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == ' ') continue;
      for (int y = 1; y < cellHeight - 1; ++y)
        for (int x = 0; x < 3; ++x)
          mask.coverage[static_cast<size_t>(y * mask.width) + i * advance + x] = 255;
    }
  }
  struct Call {
    std::string text;
    int height;
    bool operator==(const Call&) const = default;
  };
  std::vector<Call> calls;
};

}  // namespace tessaro::testing
