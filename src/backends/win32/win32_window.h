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

}  // namespace tessaro::platform::win32
