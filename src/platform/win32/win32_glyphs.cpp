#include "platform/win32/win32_glyphs.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>

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

// A memory surface with a 32-bit top-down DIB section, and one font per cell height.
struct Win32GlyphSource::Surface {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ firstBitmap = nullptr;
  HGDIOBJ firstFont = nullptr;
  uint32_t* bits = nullptr;
  int width = 0, height = 0;
  std::map<int, HFONT> fonts;

  ~Surface() {
    if (dc != nullptr) {
      if (firstBitmap != nullptr) SelectObject(dc, firstBitmap);
      if (firstFont != nullptr) SelectObject(dc, firstFont);
      DeleteDC(dc);
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    for (auto& [height, font] : fonts) {
      if (font != nullptr) DeleteObject(font);
    }
  }

  // The system's default face for the Shift-JIS character set, the cell height in pixels,
  // normal weight; the default GUI font when no such font can be made.
  HGDIOBJ fontFor(int cellHeight) {
    auto [entry, added] = fonts.try_emplace(cellHeight, nullptr);
    if (added) {
      entry->second = CreateFontA(cellHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                  SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                  DEFAULT_QUALITY, DEFAULT_PITCH, nullptr);
    }
    if (entry->second != nullptr) return entry->second;
    return GetStockObject(DEFAULT_GUI_FONT);
  }

  // A black surface of at least w x h pixels; false when it cannot be made.
  bool clear(int w, int h) {
    if (dc == nullptr) {
      dc = CreateCompatibleDC(nullptr);
      if (dc == nullptr) return false;
    }
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
  if (wide.empty()) return;
  Surface& s = *surface_;
  if (s.dc == nullptr && (s.dc = CreateCompatibleDC(nullptr)) == nullptr) return;
  HGDIOBJ previousFont = SelectObject(s.dc, s.fontFor(cellHeight));
  if (s.firstFont == nullptr) s.firstFont = previousFont;
  int length = static_cast<int>(std::min<size_t>(wide.size(), 0x7FFFFFFF));
  SIZE extent{};
  if (!GetTextExtentPoint32W(s.dc, wide.c_str(), length, &extent) || extent.cx <= 0) return;
  int textWidth = std::min<int>(extent.cx, widestText);
  // Room on the right for a last glyph that reaches past its advance.
  int surfaceWidth = std::min(textWidth + cellHeight, widestText);
  if (!s.clear(surfaceWidth, cellHeight)) return;
  SetBkMode(s.dc, TRANSPARENT);
  SetTextColor(s.dc, RGB(255, 255, 255));
  SetTextAlign(s.dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
  ExtTextOutW(s.dc, 0, 0, 0, nullptr, wide.c_str(), static_cast<UINT>(length), nullptr);
  GdiFlush();

  int inked = textWidth;
  for (int y = 0; y < cellHeight; ++y) {
    for (int x = surfaceWidth - 1; x >= inked; --x) {
      if (s.coverage(x, y) != 0) {
        inked = x + 1;
        break;
      }
    }
  }
  mask.width = inked;
  mask.coverage.resize(static_cast<size_t>(mask.width) * static_cast<size_t>(cellHeight));
  for (int y = 0; y < cellHeight; ++y) {
    for (int x = 0; x < mask.width; ++x)
      mask.coverage[static_cast<size_t>(y) * static_cast<size_t>(mask.width) + x] =
          s.coverage(x, y);
  }
}

}  // namespace tessaro::platform::win32
