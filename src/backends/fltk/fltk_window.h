// The status window on FLTK 1.3 (X11): one window that shows the display's content by block
// copies, with scroll bars, size snapping at the end of a resize, keys, wheel, clicks, dropped
// files and FLTK's file chooser. Every call runs on the main thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tessaro::platform::fltk {

class FltkWindowSystem : public WindowSystem {
 public:
  // nullptr when DISPLAY is unset or the display cannot be opened.
  std::unique_ptr<StatusWindowPort> create(const std::string& title, WindowContent& content,
                                           WindowEvents& events) override;

 private:
  bool displayOpen_ = false;
};

// Paths of a drop: FLTK hands over the dragged items as text, one per line, as file URIs
// ("file://host/path" with %-escapes) or plain paths. Other URIs and comment lines are skipped.
std::vector<std::string> droppedPaths(const std::string& text);

// FLTK key number to the navigation key's virtual key number (0x21-0x2E), 0 for other keys.
int navigationVirtualKey(int fltkKey);

}  // namespace tessaro::platform::fltk
