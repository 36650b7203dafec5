#include "backends/fonts/font_glyphs.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <vector>

namespace tessaro::platform::fonts {

namespace {

constexpr FcChar32 replacementCharacter = 0xFFFD;

// The best font for Japanese text in a sans style; fontconfig falls back to the best sans font
// when nothing Japanese is installed.
bool matchFont(std::string& file, int& index) {
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif:lang=ja"));
  if (pattern == nullptr) return false;
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (match == nullptr) return false;
  FcChar8* path = nullptr;
  bool found = FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path != nullptr;
  if (found) file = reinterpret_cast<const char*>(path);
  if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
  FcPatternDestroy(match);
  return found;
}

std::vector<FcChar32> codePoints(const std::string& text) {
  std::vector<FcChar32> points;
  const auto* bytes = reinterpret_cast<const FcChar8*>(text.data());
  int left = static_cast<int>(text.size());
  while (left > 0) {
    FcChar32 point = 0;
    int used = FcUtf8ToUcs4(bytes, &point, left);
    if (used <= 0) {
      point = replacementCharacter;
      used = 1;
    }
    points.push_back(point);
    bytes += used;
    left -= used;
  }
  return points;
}

// Lays one rendered glyph's coverage into the mask with its left edge at x, baseline at y.
// Returns the number of inked pixels that fell outside the mask.
int copyGlyph(const FT_GlyphSlot glyph, int x, int baseline, TextMask& mask) {
  const FT_Bitmap& bitmap = glyph->bitmap;
  int lost = 0;
  for (unsigned row = 0; row < bitmap.rows; ++row) {
    int y = baseline - glyph->bitmap_top + static_cast<int>(row);
    const unsigned char* source = bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch;
    for (unsigned col = 0; col < bitmap.width; ++col) {
      int px = x + glyph->bitmap_left + static_cast<int>(col);
      if (y < 0 || y >= mask.height || px < 0 || px >= mask.width) {
        lost += source[col] != 0;
        continue;
      }
      uint8_t& cell = mask.coverage[static_cast<size_t>(y * mask.width + px)];
      cell = std::max(cell, static_cast<uint8_t>(source[col]));
    }
  }
  return lost;
}

// Renders one character into the face's glyph slot; false when the font cannot. Some fonts'
// own hinting loses a thin glyph at some sizes (the underscore of IPAGothic from 16 pixels
// on): a glyph that comes out empty is rendered again by FreeType's auto-hinter.
bool loadGlyph(FT_Face face, FcChar32 point) {
  if (FT_Load_Char(face, point, FT_LOAD_RENDER) != 0) return false;
  if (face->glyph->bitmap.rows > 0 && face->glyph->bitmap.width > 0) return true;
  return FT_Load_Char(face, point, FT_LOAD_RENDER | FT_LOAD_FORCE_AUTOHINT) == 0;
}

// How far the rendered ink of the printable ASCII characters reaches above and below the
// baseline at the face's present size.
struct InkExtent {
  int above = 0, below = 0;
};

InkExtent printableInk(FT_Face face) {
  InkExtent ink;
  for (FcChar32 point = 0x21; point < 0x7F; ++point) {
    if (!loadGlyph(face, point) || face->glyph->bitmap.rows == 0) continue;
    ink.above = std::max(ink.above, face->glyph->bitmap_top);
    ink.below =
        std::max(ink.below, static_cast<int>(face->glyph->bitmap.rows) - face->glyph->bitmap_top);
  }
  return ink;
}

int pixels(FT_Pos value26dot6) {
  return static_cast<int>((value26dot6 + 32) >> 6);
}

}  // namespace

FontGlyphSource::~FontGlyphSource() {
  if (face_ != nullptr) FT_Done_Face(face_);
  if (library_ != nullptr) FT_Done_FreeType(library_);
}

bool FontGlyphSource::ready() {
  if (tried_) return face_ != nullptr;
  tried_ = true;
  int index = 0;
  if (!matchFont(file_, index) || FT_Init_FreeType(&library_) != 0) return false;
  if (FT_New_Face(library_, file_.c_str(), index, &face_) != 0) {
    face_ = nullptr;
    file_.clear();
    return false;
  }
  return true;
}

std::string FontGlyphSource::fontFile() {
  ready();
  return file_;
}

// The cell is ascent plus descent, as the height of a character cell is meant. Rounded to
// whole pixels the ink can come out a row taller than the cell (an underscore below it): the
// font is then made a quarter pixel smaller at a time until the printable characters fit, and
// the baseline is put where all of them are whole, as near the font's own ascent as that allows.
void FontGlyphSource::setCellHeight(int cellHeight) {
  if (cellHeight == cellHeight_) return;
  cellHeight_ = cellHeight;
  for (FT_Pos size = cellHeight * 64;; size -= 16) {
    FT_Size_RequestRec request{FT_SIZE_REQUEST_TYPE_REAL_DIM, 0, size, 0, 0};
    FT_Request_Size(face_, &request);
    InkExtent ink = printableInk(face_);
    if (ink.above + ink.below <= cellHeight || size <= 64) {
      ascender_ = std::clamp(pixels(face_->size->metrics.ascender), ink.above,
                             std::max(ink.above, cellHeight - ink.below));
      return;
    }
  }
}

void FontGlyphSource::render(const std::string& text, int cellHeight, TextMask& mask) {
  mask = TextMask{0, std::max(cellHeight, 0), {}};
  lostPixels_ = 0;
  if (cellHeight <= 0 || text.empty() || !ready()) return;
  setCellHeight(cellHeight);
  std::vector<FcChar32> points = codePoints(text);
  // One pass into a mask wide enough for any advance, cut to the pen's end afterwards.
  TextMask wide{static_cast<int>(points.size()) * cellHeight * 2 + cellHeight, cellHeight, {}};
  wide.coverage.assign(static_cast<size_t>(wide.width) * static_cast<size_t>(cellHeight), 0);
  int pen = 0, inkRight = 0;
  for (FcChar32 point : points) {
    if (!loadGlyph(face_, point)) continue;
    const FT_GlyphSlot glyph = face_->glyph;
    // A first glyph that reaches left of its origin moves the text right instead of losing ink.
    if (pen == 0 && glyph->bitmap_left < 0) pen = -glyph->bitmap_left;
    lostPixels_ += copyGlyph(glyph, pen, ascender_, wide);
    if (glyph->bitmap.width > 0)
      inkRight =
          std::max(inkRight, pen + glyph->bitmap_left + static_cast<int>(glyph->bitmap.width));
    pen += pixels(glyph->advance.x);
  }
  mask.width = std::clamp(std::max(pen, inkRight), 0, wide.width);
  mask.coverage.resize(static_cast<size_t>(mask.width) * static_cast<size_t>(cellHeight));
  for (int y = 0; y < cellHeight; ++y) {
    std::copy_n(wide.coverage.begin() + static_cast<ptrdiff_t>(y) * wide.width, mask.width,
                mask.coverage.begin() + static_cast<ptrdiff_t>(y) * mask.width);
  }
}

}  // namespace tessaro::platform::fonts
