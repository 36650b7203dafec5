#include "display/status_painter.h"

#include <algorithm>
#include <cstdio>

namespace tessaro::display {

namespace {

constexpr int listRight = 135;
constexpr int rowHeight = 12;
constexpr size_t titleLimit = 35;
// The repeat count: its place, the first column of the repeat buttons' frame it must end
// before, and the first column of the free panel part a wider count may start from.
constexpr int repeatLeft = 199;
constexpr int repeatButtonsLeft = 260;
constexpr int repeatLeftmost = 178;

std::string format(const char* pattern, int32_t value) {
  char text[32];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

void paintList(StatusWindow& window, const StatusFacts& facts) {
  fillRect(window.buffer, 0, StripTop + 1, listRight, StripTop + 32, Black);
  for (int32_t i = 0; i < 3 && facts.listTop + i < facts.cueLength; ++i) {
    int32_t entry = facts.listTop + i;
    int rowTop = StripTop + 1 + rowHeight * i;
    std::string text = format("%3d: ", entry + 1);
    if (facts.entryName) text += facts.entryName(entry);
    if (entry == facts.selectedEntry)
      fillRect(window.buffer, 0, rowTop, listRight, rowTop + rowHeight - 1, SelectionColour);
    drawText(window, 0, rowTop - 1, text, 13, White);
  }
}

void paintModePicture(StatusWindow& window, const ModePicture& picture) {
  for (int row = 0; row < PictureHeight; ++row) {
    for (int k = 0; k < 124; ++k) {
      size_t i = static_cast<size_t>(row * PictureWidth + k);
      setPixel(window.buffer, 153 + k, 50 + row,
               {picture.red[i], picture.green[i], picture.blue[i]});
    }
  }
}

void paintLabels(StatusWindow& window, const StatusFacts& facts) {
  if (facts.source == SongConvention::gs) {
    drawText(window, 184, StripTop + 2, "88GS", 15, White);
  } else if (facts.source == SongConvention::xg) {
    drawText(window, 184, StripTop + 2, " XG ", 15, White);
  } else {
    drawText(window, 184, StripTop + 2, "88GS", 15, window.grayTextColour);
  }
  if (facts.target == Target::gm) {
    bool known = facts.source != SongConvention::none;
    drawText(window, 235, StripTop + 2, "GM", 15, known ? White : window.grayTextColour);
  } else if (facts.target == Target::xg) {
    drawText(window, 235, StripTop + 2, "XG", 15, White);
  }
}

// The count shown is one more than the stored one; the stored count has no upper limit.
int32_t shownRepeat(int32_t count) {
  return count == INT32_MAX ? count : count + 1;
}

// "repeat" and the count, ending left of the repeat buttons: a count of 100 or more, wider than
// the place it has, starts further left, and what still does not fit is cut at the frame.
void paintRepeat(StatusWindow& window, int32_t count) {
  platform::TextMask mask;
  window.glyphs.render(format("repeat%3d", shownRepeat(count)), 13, mask);
  int x = std::clamp(repeatButtonsLeft - mask.width, repeatLeftmost, repeatLeft);
  int room = repeatButtonsLeft - x;
  if (mask.width > room) {
    platform::TextMask cut{room, mask.height, {}};
    for (int y = 0; y < mask.height; ++y) {
      auto row = mask.coverage.begin() + static_cast<ptrdiff_t>(y) * mask.width;
      cut.coverage.insert(cut.coverage.end(), row, row + room);
    }
    mask = std::move(cut);
  }
  blendMask(window.buffer, x, StripTop + 18, mask, White);
}

}  // namespace

int modeIndexOf(const StatusFacts& facts) {
  int source =
      facts.source == SongConvention::gs ? 1 : (facts.source == SongConvention::xg ? 2 : 0);
  int target = facts.target == Target::xg ? 2 : (facts.target == Target::gm ? 3 : 0);
  if (source == 0 && (target == 3 || target == 0)) return 0;
  return source + 4 * target;
}

void paintStatus(StatusWindow& window, const StatusFacts& facts, const ModePictures& pictures) {
  fillRect(window.buffer, 0, StripTop, ContentWidth - 1, StripTop, window.menuColour);
  paintList(window, facts);
  fillRect(window.buffer, listRight + 1, StripTop + 1, ContentWidth - 1, StripTop + 32, Black);
  int mode = modeIndexOf(facts);
  if (mode != 0) paintModePicture(window, pictures[static_cast<size_t>(mode)]);
  paintLabels(window, facts);
  paintRepeat(window, facts.repeatCount);
  drawText(window, 288, StripTop + 1, "vol", 13, White);
  drawText(window, 288, StripTop + 15, format("%+3d", facts.volumeAdd), 16, White);
  drawControls(window);
  present(window, facts.fullRepaint ? 0 : StripTop, StripTop + 32);
}

std::string buildTitle(int32_t length, int32_t current, int32_t droppedCount,
                       const std::function<std::string(int32_t)>& entryName) {
  std::string title;
  size_t characters = 0;  // UTF-8 characters, not bytes
  bool overflow = false;
  auto add = [&](const std::string& text) {
    title += text;
    for (unsigned char c : text) characters += (c & 0xC0) != 0x80;
  };
  for (int32_t i = current; i < length; ++i) {
    if (characters >= titleLimit) {
      overflow = true;
      continue;
    }
    if (i > current) add(" ");
    add(entryName ? entryName(i) : std::string());
    if (i != length - 1) add(" <");
  }
  if (overflow) title += " ...";
  if (length + droppedCount >= 4) {
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, " (%d/%d)", current + 1 + droppedCount,
                  length + droppedCount);
    title += suffix;
  }
  return title;
}

}  // namespace tessaro::display
