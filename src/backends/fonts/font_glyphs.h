// Text for the status window: FreeType renders the glyphs of a font that fontconfig chooses,
// a Japanese-capable sans font when one is installed and otherwise the common sans font.
#pragma once

#include <string>

#include "platform/platform.h"

typedef struct FT_LibraryRec_* FT_Library;
typedef struct FT_FaceRec_* FT_Face;

namespace tessaro::platform::fonts {

class FontGlyphSource : public GlyphSource {
 public:
  // The font is looked up and opened on the first render.
  FontGlyphSource() = default;
  ~FontGlyphSource() override;
  FontGlyphSource(const FontGlyphSource&) = delete;
  FontGlyphSource& operator=(const FontGlyphSource&) = delete;

  // Characters that are not valid UTF-8 are drawn as the replacement character. With no font
  // at all the mask is empty (the text is not drawn).
  void render(const std::string& text, int cellHeight, TextMask& mask) override;
  // The font file in use; empty when none could be opened.
  std::string fontFile();
  // Inked pixels of the last render that fell outside the mask: 0 when every glyph was whole.
  int lostPixels() const { return lostPixels_; }

 private:
  bool ready();
  void setCellHeight(int cellHeight);

  bool tried_ = false;
  FT_Library library_ = nullptr;
  FT_Face face_ = nullptr;
  std::string file_;
  int cellHeight_ = 0;
  int ascender_ = 0;  // pixels from the cell top to the baseline
  int lostPixels_ = 0;
};

}  // namespace tessaro::platform::fonts
