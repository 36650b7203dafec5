// The status window on Win32: one window of class "gint" that shows the display's content by
// block copies from a memory surface, with the system's scroll bars, size snapping at the end of
// a user resize, keys, wheel, clicks, dropped files and the common file-open dialog. Every call
// runs on the main thread, which also dispatches the window's messages.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace tessaro::platform::win32 {

class Win32WindowSystem : public WindowSystem {
 public:
  // nullptr when the window class cannot be registered (a window of it still exists) or the
  // window or its drawing surface cannot be made.
  std::unique_ptr<StatusWindowPort> create(const std::string& title, WindowContent& content,
                                           WindowEvents& events) override;
};

// The line that names a failure of the file-open dialog by the code CommDlgExtendedError
// returned, without its line break; empty for 0 (the user cancelled).
std::string openDialogErrorText(unsigned long code);

// Which scroll directions a drag of a sizing edge (WMSZ_LEFT .. WMSZ_BOTTOMRIGHT) takes in.
struct SizingDirections {
  bool horizontal = false;
  bool vertical = false;
};
SizingDirections sizingDirections(unsigned edge);

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
