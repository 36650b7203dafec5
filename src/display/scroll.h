// Scrolling and size snapping of the status window. The window shows the content from the
// scroll offset on; a scroll bar counts only after the user resized in its direction (or
// restored the window with a non-zero range), and at the end of a user resize the window snaps
// back to the content size in every dimension that fits.
#pragma once

namespace tessaro::display {

// Sizes of the window in outer pixels, fixed at creation.
struct WindowGeometry {
  int bufferWidth = 0, bufferHeight = 0;
  int fullWidth = 0, fullHeight = 0;  // outer size showing exactly the content
  int fullWidthWithBar = 0, fullHeightWithBar = 0;
  int snapWidth = 0, snapHeight = 0;
  int captionHeight = 0;
  bool clamped = false;  // the work area was smaller than the full size
};

// frameWidth, frameHeight: outer minus client size without bars (caption included).
WindowGeometry windowGeometry(int bufferWidth, int bufferHeight, int frameWidth, int frameHeight,
                              int captionHeight, int vBarWidth, int hBarHeight, int workWidth,
                              int workHeight);

struct ScrollState {
  int hPos = 0, vPos = 0;
  int hMax = 0, vMax = 0;
  bool hEnabled = false, vEnabled = false;
  int accel = 0;
};

// The user drags an edge: horizontal for the left or right, vertical for the top or bottom,
// both for a corner.
void sizingEdges(ScrollState& state, bool horizontal, bool vertical);
// The window was minimized or restored.
void minimizedOrRestored(ScrollState& state);

struct BarsShown {
  bool horizontal = false, vertical = false;
  bool operator==(const BarsShown&) const = default;
};
// The client area is now cw x ch (bars excluded): the ranges and positions follow.
BarsShown clientResized(ScrollState& state, const WindowGeometry& geometry, int cw, int ch);

struct Size {
  int width = 0, height = 0;
  bool operator==(const Size&) const = default;
};
// End of a user resize of an outer size w x h: the size the window takes.
Size snapSize(ScrollState& state, const WindowGeometry& geometry, int w, int h);

enum class ScrollCode { lineBack, lineForward, pageBack, pageForward, thumbPosition, other };
// One scroll command on a bar; true when the position moved.
bool scrollBar(ScrollState& state, bool horizontal, ScrollCode code, int thumb = 0);
// The pointer moved over the window: line scrolling starts slow again.
inline void pointerMoved(ScrollState& state) {
  state.accel = 0;
}

}  // namespace tessaro::display
