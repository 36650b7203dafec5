#include "display/scroll.h"

#include <algorithm>

namespace tessaro::display {

WindowGeometry windowGeometry(int bufferWidth, int bufferHeight, int frameWidth, int frameHeight,
                              int captionHeight, int vBarWidth, int hBarHeight, int workWidth,
                              int workHeight) {
  WindowGeometry g;
  g.bufferWidth = bufferWidth;
  g.bufferHeight = bufferHeight;
  g.fullWidth = std::min(bufferWidth + frameWidth, workWidth);
  g.fullHeight = std::min(bufferHeight + frameHeight, workHeight);
  g.clamped = g.fullWidth < bufferWidth + frameWidth || g.fullHeight < bufferHeight + frameHeight;
  g.fullWidthWithBar = g.fullWidth + vBarWidth;
  g.fullHeightWithBar = g.fullHeight + hBarHeight;
  g.snapWidth = bufferWidth + vBarWidth;
  g.snapHeight = captionHeight + hBarHeight + bufferHeight;
  g.captionHeight = captionHeight;
  return g;
}

void sizingEdges(ScrollState& state, bool horizontal, bool vertical) {
  if (horizontal) state.hEnabled = true;
  if (vertical) state.vEnabled = true;
}

void minimizedOrRestored(ScrollState& state) {
  state.hEnabled = state.hMax > 0;
  state.vEnabled = state.vMax > 0;
}

namespace {

// One dimension of clientResized; true when its bar shows.
bool resizeDimension(bool& enabled, int& max, int& pos, int content, int client) {
  if (!enabled) return false;
  max = std::max(content - client, 0);
  if (max == 0) {
    enabled = false;
    pos = 0;
    return false;
  }
  pos = std::min(pos, max);
  return true;
}

}  // namespace

BarsShown clientResized(ScrollState& state, const WindowGeometry& geometry, int cw, int ch) {
  BarsShown shown;
  shown.horizontal =
      resizeDimension(state.hEnabled, state.hMax, state.hPos, geometry.bufferWidth, cw);
  shown.vertical =
      resizeDimension(state.vEnabled, state.vMax, state.vPos, geometry.bufferHeight, ch);
  return shown;
}

Size snapSize(ScrollState& s, const WindowGeometry& g, int w, int h) {
  Size size{w, h};
  auto fullWidth = [&] {
    size.width = g.fullWidth;
    s.hEnabled = false;
    s.hPos = 0;
  };
  auto fullHeight = [&] {
    size.height = g.fullHeight;
    s.vEnabled = false;
    s.vPos = 0;
  };
  if (s.hMax > 0 && s.vMax > 0) {
    if (w >= g.snapWidth) {
      fullWidth();
      if (h >= g.captionHeight + g.bufferHeight) fullHeight();
    }
    if (h >= g.snapHeight) {
      fullHeight();
      if (w >= g.bufferWidth) fullWidth();
    }
  } else if (s.hMax > 0) {
    size.height = g.fullHeightWithBar;
    if (w >= g.bufferWidth) {
      fullWidth();
      size.height = g.fullHeight;
    }
  } else if (s.vMax > 0) {
    size.width = g.fullWidthWithBar;
    if (h >= g.captionHeight + g.bufferHeight) {
      fullHeight();
      size.width = g.fullWidth;
    }
  } else {
    size = {g.fullWidth, g.fullHeight};
  }
  return size;
}

bool scrollBar(ScrollState& state, bool horizontal, ScrollCode code, int thumb) {
  int& pos = horizontal ? state.hPos : state.vPos;
  int max = horizontal ? state.hMax : state.vMax;
  int next = pos;
  if (code == ScrollCode::lineBack || code == ScrollCode::lineForward) {
    ++state.accel;
    int step = state.accel < 10 ? 1 : std::min(state.accel - 8, max / 10);
    next = code == ScrollCode::lineBack ? pos - step : pos + step;
  } else if (code == ScrollCode::pageBack) {
    next = pos - max / 10;
  } else if (code == ScrollCode::pageForward) {
    next = pos + max / 10;
  } else if (code == ScrollCode::thumbPosition) {
    next = thumb;
  } else {
    return false;
  }
  next = std::clamp(next, 0, std::max(max, 0));
  if (next == pos) return false;
  pos = next;
  return true;
}

}  // namespace tessaro::display
