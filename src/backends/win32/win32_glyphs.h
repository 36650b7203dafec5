// Text for the status window on Win32: GDI draws it in the system's default face for the
// Shift-JIS character set, white on black into a memory surface, and the grey levels read back
// are the text's coverage.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace tessaro::platform::win32 {

class Win32GlyphSource : public GlyphSource {
 public:
  Win32GlyphSource();
  ~Win32GlyphSource() override;
  Win32GlyphSource(const Win32GlyphSource&) = delete;
  Win32GlyphSource& operator=(const Win32GlyphSource&) = delete;

  // The mask is as wide as the text's extent (wider only where the last glyph overhangs it) and
  // cellHeight rows high. When GDI cannot draw, the mask is empty (the text is left out).
  void render(const std::string& text, int cellHeight, TextMask& mask) override;

 private:
  struct Surface;
  std::unique_ptr<Surface> surface_;
};

// Text for the system's wide-character calls: UTF-8 when the bytes are valid UTF-8, otherwise
// the system's ANSI code page (names as the ANSI file calls report them).
std::wstring wideText(const std::string& text);

// Characters as an ANSI window receives them, one byte a message, turned into Unicode code
// points: a double-byte character arrives as its lead byte and then its trail byte, and only
// the pair names the character.
class AnsiCharDecoder {
 public:
  // codePage 0 is the system's ANSI code page.
  explicit AnsiCharDecoder(unsigned codePage = 0) : codePage_(codePage) {}
  // The code point the byte completes; 0 while a lead byte waits for its trail byte.
  unsigned feed(unsigned char byte);

 private:
  unsigned codePage_;
  int lead_ = -1;
};

}  // namespace tessaro::platform::win32
