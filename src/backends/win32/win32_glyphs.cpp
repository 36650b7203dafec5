#include "backends/win32/win32_glyphs.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

namespace tessaro::platform::win32 {

namespace {

// Wider text than this is cut and taller cells are not drawn: GDI surfaces of more are not
// worth making for a status line.
constexpr int widestText = 8192;
constexpr int tallestCell = 1024;

std::wstring convert(UINT codePage, DWORD flags, const std::string& text) {
  int length = static_cast<int>(std::min<size_t>(text.size(), 0x7FFFFFFF));
  int needed = MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(codePage, flags, text.data(), length, wide.data(), needed);
  return wide;
}

}  // namespace

std::wstring wideText(const std::string& text) {
  if (text.empty()) return {};
  std::wstring wide = convert(CP_UTF8, MB_ERR_INVALID_CHARS, text);
  return wide.empty() ? convert(CP_ACP, 0, text) : wide;
}

unsigned AnsiCharDecoder::feed(unsigned char byte) {
  char bytes[2];
  int length = 0;
  if (lead_ >= 0) {
    bytes[length++] = static_cast<char>(lead_);
    lead_ = -1;
  } else if (IsDBCSLeadByteEx(codePage_, byte)) {
    lead_ = byte;
    return 0;
  }
  bytes[length++] = static_cast<char>(byte);
  wchar_t wide[2] = {};
  int made = MultiByteToWideChar(codePage_, 0, bytes, length, wide, 2);
  if (made <= 0) return 0;
  return static_cast<unsigned>(wide[0]);
}

// Characters of one font in a line of text, and their advance in pixels.
struct TextRun {
  size_t start = 0, length = 0;
  HGDIOBJ font = nullptr;
  int advance = 0;
};

// A memory surface with a 32-bit top-down DIB section, and the fonts of each cell height.
struct Win32GlyphSource::Surface {
  // The program's font and the one for characters it has no glyph for.
  struct Fonts {
    HFONT main = nullptr;
    HFONT fallback = nullptr;
  };

  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ firstBitmap = nullptr;
  HGDIOBJ firstFont = nullptr;
  uint32_t* bits = nullptr;
  int width = 0, height = 0;
  std::map<int, Fonts> fonts;

  ~Surface() {
    if (dc != nullptr) {
      if (firstBitmap != nullptr) SelectObject(dc, firstBitmap);
      if (firstFont != nullptr) SelectObject(dc, firstFont);
      DeleteDC(dc);
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    for (auto& [cell, made] : fonts) {
      for (HFONT font : {made.main, made.fallback}) {
        if (font != nullptr) DeleteObject(font);
      }
    }
  }

  bool ready() {
    if (dc == nullptr) dc = CreateCompatibleDC(nullptr);
    return dc != nullptr;
  }

  void select(HGDIOBJ font) {
    HGDIOBJ previous = SelectObject(dc, font);
    if (firstFont == nullptr) firstFont = previous;
  }

  // The system's default face for the Shift-JIS character set at the cell height, normal
  // weight; and the default face of any character set for what that one cannot show (a system
  // without Japanese fonts may map the first to a face without Latin letters). The default GUI
  // font stands in for a font that cannot be made.
  const Fonts& fontsFor(int cellHeight) {
    auto [entry, added] = fonts.try_emplace(cellHeight);
    if (added) {
      for (auto [charset, font] : {std::pair{SHIFTJIS_CHARSET, &entry->second.main},
                                   std::pair{DEFAULT_CHARSET, &entry->second.fallback}}) {
        *font = CreateFontA(cellHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                            static_cast<DWORD>(charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                            DEFAULT_QUALITY, DEFAULT_PITCH, nullptr);
      }
    }
    return entry->second;
  }

  static HGDIOBJ orGuiFont(HFONT font) {
    return font != nullptr ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT);
  }

  // Which of the text's characters font has glyphs for.
  std::vector<bool> hasGlyphs(HGDIOBJ font, const std::wstring& text) {
    select(font);
    std::vector<WORD> glyphs(text.size(), 0xFFFF);
    GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                     GGI_MARK_NONEXISTING_GLYPHS);
    std::vector<bool> has(text.size());
    for (size_t i = 0; i < text.size(); ++i) has[i] = glyphs[i] != 0xFFFF;
    return has;
  }

  // The text cut into runs of the main font and runs of the fallback font (for characters the
  // main one lacks and the fallback has), each measured; baseline is the largest ascent of the
  // fonts used, within the cell.
  std::vector<TextRun> layOut(const std::wstring& text, int cellHeight, int& baseline) {
    const Fonts& made = fontsFor(cellHeight);
    HGDIOBJ main = orGuiFont(made.main), fallback = orGuiFont(made.fallback);
    std::vector<bool> inMain = hasGlyphs(main, text);
    std::vector<bool> inFallback = hasGlyphs(fallback, text);
    std::vector<TextRun> runs;
    for (size_t i = 0; i < text.size(); ++i) {
      HGDIOBJ font = !inMain[i] && inFallback[i] ? fallback : main;
      if (runs.empty() || runs.back().font != font) runs.push_back({i, 0, font, 0});
      ++runs.back().length;
    }
    baseline = 0;
    for (TextRun& run : runs) {
      select(run.font);
      SIZE extent{};
      if (GetTextExtentPoint32W(dc, text.c_str() + run.start, static_cast<int>(run.length),
                                &extent))
        run.advance = static_cast<int>(extent.cx);
      TEXTMETRICW metrics{};
      if (GetTextMetricsW(dc, &metrics)) baseline = std::max<int>(baseline, metrics.tmAscent);
    }
    baseline = std::min(baseline, cellHeight - 1);
    return runs;
  }

  // A black surface of at least w x h pixels; false when it cannot be made.
  bool clear(int w, int h) {
    if (w > width || h > height || bitmap == nullptr) {
      BITMAPINFO info{};
      info.bmiHeader.biSize = sizeof(info.bmiHeader);
      info.bmiHeader.biWidth = std::max(w, width);
      info.bmiHeader.biHeight = -std::max(h, height);  // top-down rows
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 32;
      info.bmiHeader.biCompression = BI_RGB;
      void* pixels = nullptr;
      HBITMAP made = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
      if (made == nullptr || pixels == nullptr) return false;
      HGDIOBJ previous = SelectObject(dc, made);
      if (firstBitmap == nullptr) firstBitmap = previous;
      if (bitmap != nullptr) DeleteObject(bitmap);
      bitmap = made;
      bits = static_cast<uint32_t*>(pixels);
      width = info.bmiHeader.biWidth;
      height = -info.bmiHeader.biHeight;
    }
    GdiFlush();
    std::memset(bits, 0, static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    return true;
  }

  // Coverage of pixel (x, y) after white text was drawn on black: the mean of its three colours,
  // so that sub-pixel rendering counts as the grey it stands for.
  uint8_t coverage(int x, int y) const {
    uint32_t p = bits[static_cast<size_t>(y) * static_cast<size_t>(width) + x];
    unsigned sum = (p & 0xFF) + ((p >> 8) & 0xFF) + ((p >> 16) & 0xFF);
    return static_cast<uint8_t>((sum + 1) / 3);
  }
};

Win32GlyphSource::Win32GlyphSource() : surface_(std::make_unique<Surface>()) {}

Win32GlyphSource::~Win32GlyphSource() = default;

void Win32GlyphSource::render(const std::string& text, int cellHeight, TextMask& mask) {
  mask = TextMask{0, std::max(cellHeight, 0), {}};
  if (cellHeight <= 0 || cellHeight > tallestCell || text.empty()) return;
  std::wstring wide = wideText(text);
  Surface& s = *surface_;
  if (wide.empty() || wide.size() > static_cast<size_t>(widestText) || !s.ready()) return;
  int baseline = 0;
  std::vector<TextRun> runs = s.layOut(wide, cellHeight, baseline);
  int advance = 0;
  for (const TextRun& run : runs) advance += run.advance;
  int textWidth = std::min(advance, widestText);
  if (textWidth <= 0) return;
  // Room on the right for a last glyph that reaches past its advance.
  int surfaceWidth = std::min(textWidth + cellHeight, widestText);
  if (!s.clear(surfaceWidth, cellHeight)) return;
  SetBkMode(s.dc, TRANSPARENT);
  SetTextColor(s.dc, RGB(255, 255, 255));
  SetTextAlign(s.dc, TA_LEFT | TA_BASELINE | TA_NOUPDATECP);
  int x = 0;
  for (const TextRun& run : runs) {
    s.select(run.font);
    ExtTextOutW(s.dc, x, baseline, 0, nullptr, wide.c_str() + run.start,
                static_cast<UINT>(run.length), nullptr);
    x += run.advance;
  }
  GdiFlush();

  int inked = textWidth;
  for (int y = 0; y < cellHeight; ++y) {
    for (int col = surfaceWidth - 1; col >= inked; --col) {
      if (s.coverage(col, y) != 0) {
        inked = col + 1;
        break;
      }
    }
  }
  mask.width = inked;
  mask.coverage.resize(static_cast<size_t>(mask.width) * static_cast<size_t>(cellHeight));
  for (int y = 0; y < cellHeight; ++y) {
    for (int col = 0; col < mask.width; ++col)
      mask.coverage[static_cast<size_t>(y) * static_cast<size_t>(mask.width) + col] =
          s.coverage(col, y);
  }
}

}  // namespace tessaro::platform::win32
