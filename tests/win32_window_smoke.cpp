// Windows-only smoke test of the Win32 status window and its text rendering: a real window of
// class "gint" is made, fed with window messages as the system would send them, and read back
// (pixels, sizes, scroll bars, title). Built for Windows only and run there, or under Wine on a
// virtual X display; it is a plain program that exits non-zero when a check fails.
// clang-format off
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
// clang-format on

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "backends/win32/win32_glyphs.h"
#include "backends/win32/win32_window.h"
#include "display/back_buffer.h"
#include "display/note_cells.h"
#include "display/status_window.h"

namespace {

using namespace tessaro;
using platform::Rgb;
using platform::win32::AnsiCharDecoder;

int failures = 0;

template <typename A, typename B>
void expectEq(const A& actual, const B& expected, const char* what, int line) {
  if (actual == expected) return;
  ++failures;
  std::printf("line %d: %s: got %lld, expected %lld\n", line, what, static_cast<long long>(actual),
              static_cast<long long>(expected));
}
void expectText(const std::string& actual, const std::string& expected, const char* what,
                int line) {
  if (actual == expected) return;
  ++failures;
  std::printf("line %d: %s: got \"%s\", expected \"%s\"\n", line, what, actual.c_str(),
              expected.c_str());
}
#define EXPECT_EQ(a, b) expectEq((a), (b), #a, __LINE__)
#define EXPECT_TEXT(a, b) expectText((a), (b), #a, __LINE__)
#define EXPECT_TRUE(c) expectEq(static_cast<bool>(c), true, #c, __LINE__)

class Recorder : public platform::WindowEvents {
 public:
  void key(int code) override { keys.push_back(code); }
  void wheel(bool up) override { wheels.push_back(up); }
  void leftDown(int x, int y, bool ctrl, bool shift) override {
    lefts.emplace_back(x, y, ctrl, shift);
  }
  void leftUp() override { ++leftUps; }
  void rightDown(bool ctrl, bool shift) override { rights.emplace_back(ctrl, shift); }
  void dropped(const std::vector<std::string>& paths) override { drops.push_back(paths); }
  void closed() override { ++closes; }

  std::vector<int> keys;
  std::vector<bool> wheels;
  std::vector<std::tuple<int, int, bool, bool>> lefts;
  int leftUps = 0;
  std::vector<std::pair<bool, bool>> rights;
  std::vector<std::vector<std::string>> drops;
  int closes = 0;
};

void pumpFor(platform::StatusWindowPort& port, int ms) {
  for (int waited = 0; waited < ms; waited += 10) {
    port.pump();
    Sleep(10);
  }
}

Rgb stripColour(int x, int y) {
  return {static_cast<uint8_t>(x % 251), static_cast<uint8_t>(40 + y), 200};
}

Rgb pixelAt(HWND window, int x, int y) {
  HDC dc = GetDC(window);
  COLORREF c = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return {GetRValue(c), GetGValue(c), GetBValue(c)};
}

SIZE outerSize(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return {r.right - r.left, r.bottom - r.top};
}

// A drop as the shell hands it over: a DROPFILES header and the ANSI paths after it.
HDROP makeDrop(const std::vector<std::string>& paths) {
  size_t bytes = sizeof(DROPFILES) + 1;
  for (const std::string& p : paths) bytes += p.size() + 1;
  HGLOBAL memory = GlobalAlloc(GHND, bytes);
  auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
  header->pFiles = sizeof(DROPFILES);
  char* at = reinterpret_cast<char*>(header) + sizeof(DROPFILES);
  for (const std::string& p : paths) {
    std::memcpy(at, p.c_str(), p.size() + 1);
    at += p.size() + 1;
  }
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

void dialogErrorLines() {
  const std::pair<unsigned long, const char*> rows[] = {
      {0, ""},
      {1, "CDERR_STRUCTSIZE."},
      {2, "CDERR_INITIALIZATION."},
      {11, "CDERR_NOHOOK."},
      {0x3001, "FNERR_SUBCLASSFAILURE."},
      {0x3003, "FNERR_BUFFERTOOSMALL."},
      {0xFFFF, "CDERR_DIALOGFAILURE."},
      {0x1234, "Dialog error 0x1234."},
  };
  for (const auto& [code, line] : rows)
    EXPECT_TEXT(platform::win32::openDialogErrorText(code), line);
}

void sizingEdgesAndCharacters() {
  // WMSZ_LEFT .. WMSZ_BOTTOMRIGHT: 1, 2 across; 3, 6 up and down; corners both.
  const std::tuple<unsigned, bool, bool> edges[] = {
      {1, true, false}, {2, true, false}, {3, false, true}, {6, false, true},
      {4, true, true},  {5, true, true},  {7, true, true},  {8, true, true},
  };
  for (const auto& [edge, horizontal, vertical] : edges) {
    EXPECT_EQ(platform::win32::sizingDirections(edge).horizontal, horizontal);
    EXPECT_EQ(platform::win32::sizingDirections(edge).vertical, vertical);
  }
  // Shift-JIS: a double-byte character is only known with its trail byte, which is never taken
  // for a letter of its own.
  AnsiCharDecoder japanese(932);
  const std::vector<std::pair<unsigned char, unsigned>> bytes = {
      {0x41, 0x41}, {0x82, 0}, {0xA0, 0x3042}, {0x83, 0}, {0x46, 0x30A7}, {0x66, 0x66}};
  for (const auto& [byte, point] : bytes) EXPECT_EQ(japanese.feed(byte), point);
  AnsiCharDecoder western(1252);
  EXPECT_EQ(western.feed(0xE9), 0xE9u);
  EXPECT_TRUE(platform::win32::wideText("\xC3\xA9t\xC3\xA9") == L"\u00E9t\u00E9");
}

void glyphs(platform::GlyphSource& source) {
  platform::TextMask mask;
  source.render("repeat  1", 13, mask);
  EXPECT_EQ(mask.height, 13);
  EXPECT_TRUE(mask.width > 20);
  EXPECT_EQ(mask.coverage.size(), static_cast<size_t>(mask.width) * 13);
  int inked = 0;
  for (uint8_t c : mask.coverage) inked += c != 0;
  EXPECT_TRUE(inked > 20);
  // Letters, not boxes for glyphs the font lacks: a missing glyph's box is the same for every
  // letter, while "i" carries less ink than "M". Ink rather than width, since the face the
  // system picks for the Japanese character set may be of fixed pitch.
  platform::TextMask narrow, wide;
  source.render("iiii", 15, narrow);
  source.render("MMMM", 15, wide);
  const auto ink = [](const platform::TextMask& m) {
    int n = 0;
    for (uint8_t c : m.coverage) n += c;
    return n;
  };
  EXPECT_TRUE(narrow.width > 0 && narrow.width <= wide.width);
  EXPECT_TRUE(ink(narrow) > 0 && ink(narrow) * 3 < ink(wide) * 2);
  source.render("", 15, mask);
  EXPECT_EQ(mask.width, 0);
  EXPECT_EQ(mask.height, 15);
  source.render("vol", 0, mask);
  EXPECT_EQ(mask.width, 0);
  source.render("\xE6\x97\xA5\xE6\x9C\xAC.mid", 16, mask);  // Japanese text, UTF-8
  EXPECT_EQ(mask.height, 16);
  EXPECT_TRUE(mask.width > 0);
}

void keysAndButtons(HWND window, Recorder& events) {
  struct Message {
    UINT message;
    WPARAM wParam;
  };
  const std::pair<std::vector<Message>, std::vector<int>> rows[] = {
      {{{WM_KEYDOWN, VK_PRIOR}}, {0x121}},
      {{{WM_KEYDOWN, VK_SHIFT}, {WM_KEYDOWN, VK_NEXT}, {WM_KEYUP, VK_SHIFT}}, {0x222}},
      {{{WM_KEYDOWN, VK_CONTROL}, {WM_KEYDOWN, VK_HOME}, {WM_KEYUP, VK_CONTROL}}, {0x324}},
      {{{WM_KEYDOWN, VK_CONTROL},
        {WM_KEYDOWN, VK_SHIFT},
        {WM_KEYDOWN, VK_DELETE},
        {WM_KEYUP, VK_SHIFT},
        {WM_KEYUP, VK_CONTROL}},
       {0x42E}},
      {{{WM_SYSKEYDOWN, VK_LEFT}}, {0x125}},
      {{{WM_KEYDOWN, 'F'}, {WM_CHAR, 'f'}}, {'f'}},
      {{{WM_CHAR, 27}}, {27}},
      {{{WM_SYSCHAR, 'a'}, {WM_SYSCHAR, 'A'}, {WM_SYSCHAR, '1'}}, {0x561, 0x541}},
  };
  for (const auto& [messages, codes] : rows) {
    events.keys.clear();
    for (const Message& m : messages) SendMessageA(window, m.message, m.wParam, 0);
    EXPECT_EQ(events.keys.size(), codes.size());
    for (size_t i = 0; i < codes.size() && i < events.keys.size(); ++i)
      EXPECT_EQ(events.keys[i], codes[i]);
  }

  SendMessageA(window, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
  SendMessageA(window, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-2 * WHEEL_DELTA)), 0);
  EXPECT_EQ(events.wheels.size(), 2u);
  if (events.wheels.size() == 2) {
    EXPECT_EQ(events.wheels[0], true);
    EXPECT_EQ(events.wheels[1], false);
  }

  SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, MAKELPARAM(170, 60));
  SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(170, 60));
  SendMessageA(window, WM_RBUTTONDOWN, MK_RBUTTON | MK_SHIFT, MAKELPARAM(3, 3));
  EXPECT_EQ(events.lefts.size(), 1u);
  if (!events.lefts.empty()) EXPECT_TRUE((events.lefts[0] == std::tuple{170, 60, true, false}));
  EXPECT_EQ(events.leftUps, 1);
  EXPECT_EQ(events.rights.size(), 1u);
  if (!events.rights.empty()) EXPECT_TRUE((events.rights[0] == std::pair{false, true}));
  // The pointer taken away while the button is held ends the press: no control stays down.
  SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(365, 60));
  ReleaseCapture();
  EXPECT_EQ(events.lefts.size(), 2u);
  EXPECT_EQ(events.leftUps, 2);

  // Every path whole and in the shell's order; the cue decides what is too long for it.
  std::string longPath = "C:\\" + std::string(300, 'm') + ".mid";
  SendMessageA(window, WM_DROPFILES,
               reinterpret_cast<WPARAM>(makeDrop({"C:\\songs\\a.mid", longPath, "D:\\b.MID"})), 0);
  EXPECT_EQ(events.drops.size(), 1u);
  if (!events.drops.empty()) {
    EXPECT_EQ(events.drops[0].size(), 3u);
    if (events.drops[0].size() == 3) {
      EXPECT_TEXT(events.drops[0][0], "C:\\songs\\a.mid");
      EXPECT_TEXT(events.drops[0][1], longPath);
      EXPECT_TEXT(events.drops[0][2], "D:\\b.MID");
    }
  }
}

bool horizontalBarShown(HWND window) {
  return (GetWindowLongA(window, GWL_STYLE) & WS_HSCROLL) != 0;
}

void sizeSnapAndScroll(HWND window, platform::StatusWindowPort& port, const SIZE& full) {
  MINMAXINFO limits{};
  SendMessageA(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  EXPECT_EQ(limits.ptMaxSize.x, full.cx);
  EXPECT_EQ(limits.ptMaxSize.y, full.cy);

  // The right edge dragged 50 pixels inwards: a bar with a range of 50, and at the end of the
  // drag the height grows by the bar while the width stays.
  SendMessageA(window, WM_SIZING, WMSZ_RIGHT, 0);
  SetWindowPos(window, nullptr, 0, 0, full.cx - 50, full.cy, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_TRUE(horizontalBarShown(window));
  SCROLLINFO info{};
  info.cbSize = sizeof(info);
  info.fMask = SIF_ALL;
  GetScrollInfo(window, SB_HORZ, &info);
  EXPECT_EQ(info.nMax - static_cast<int>(info.nPage) + 1, 50);
  SendMessageA(window, WM_EXITSIZEMOVE, 0, 0);
  EXPECT_EQ(outerSize(window).cx, full.cx - 50);
  EXPECT_EQ(outerSize(window).cy, full.cy + GetSystemMetrics(SM_CYHSCROLL));
  EXPECT_TRUE(horizontalBarShown(window));

  // Dragging the thumb does not move the content; its release does.
  SendMessageA(window, WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, 20), 0);
  EXPECT_EQ(GetScrollPos(window, SB_HORZ), 0);
  SendMessageA(window, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 20), 0);
  EXPECT_EQ(GetScrollPos(window, SB_HORZ), 20);
  pumpFor(port, 100);
  EXPECT_TRUE(pixelAt(window, 0, 60) == stripColour(20, 60));
  SendMessageA(window, WM_HSCROLL, MAKEWPARAM(SB_LINELEFT, 0), 0);
  EXPECT_EQ(GetScrollPos(window, SB_HORZ), 19);

  // Dragged back beyond the content width: the full size and no bar.
  SendMessageA(window, WM_SIZING, WMSZ_RIGHT, 0);
  SetWindowPos(window, nullptr, 0, 0, full.cx + 20, full.cy + GetSystemMetrics(SM_CYHSCROLL),
               SWP_NOMOVE | SWP_NOZORDER);
  SendMessageA(window, WM_EXITSIZEMOVE, 0, 0);
  EXPECT_EQ(outerSize(window).cx, full.cx);
  EXPECT_EQ(outerSize(window).cy, full.cy);
  EXPECT_TRUE(!horizontalBarShown(window));
  pumpFor(port, 100);
  EXPECT_TRUE(pixelAt(window, 0, 60) == stripColour(0, 60));
}

// Content larger than the screen: pixels of one colour and no note cells.
class LargeContent : public platform::WindowContent {
 public:
  int contentWidth() const override { return 2000; }
  int contentHeight() const override { return 1500; }
  const uint8_t* pixels() const override { return rgb.data(); }
  void forEachLitCell(const std::function<void(int, int, int, int, Rgb)>&) const override {}
  void rowsShown(int, int) override {}
  bool takeCellChange() override { return false; }
  std::vector<uint8_t> rgb = std::vector<uint8_t>(2000 * 1500 * 3, 90);
};

// The window takes the work area's size at its top-left corner, and so does its maximized size.
void oversizedContent() {
  LargeContent content;
  Recorder events;
  platform::win32::Win32WindowSystem windows;
  auto port = windows.create("large", content, events);
  EXPECT_TRUE(port != nullptr);
  HWND window = FindWindowA("gint", nullptr);
  if (port == nullptr || window == nullptr) return;
  RECT work;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  RECT outer;
  GetWindowRect(window, &outer);
  EXPECT_EQ(outer.left, work.left);
  EXPECT_EQ(outer.top, work.top);
  EXPECT_EQ(outer.right - outer.left, work.right - work.left);
  EXPECT_EQ(outer.bottom - outer.top, work.bottom - work.top);
  MINMAXINFO limits{};
  SendMessageA(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  EXPECT_EQ(limits.ptMaxSize.x, work.right - work.left);
  EXPECT_EQ(limits.ptMaxSize.y, work.bottom - work.top);
  pumpFor(*port, 50);
  EXPECT_TRUE((pixelAt(window, 5, 5) == Rgb{90, 90, 90}));
}

void windowRun() {
  platform::win32::Win32GlyphSource glyphSource;
  glyphs(glyphSource);
  display::StatusWindow content(display::ContentWidth, display::ContentHeight, glyphSource);
  for (int y = display::StripTop; y < display::ContentHeight; ++y) {
    for (int x = 0; x < display::ContentWidth; ++x)
      display::setPixel(content.buffer, x, y, stripColour(x, y));
  }
  display::paintIdleGrid(content.buffer);
  display::drawText(content, 190, 52, "Tessaro 88GS", 15, display::White);
  display::drawText(content, 4, 62, "  1: \xE6\x97\xA5\xE6\x9C\xAC.mid", 13, display::White);
  Recorder events;
  platform::win32::Win32WindowSystem windows;
  auto port = windows.create("Tessaro,GM : ready ", content, events);
  EXPECT_TRUE(port != nullptr);
  if (port == nullptr) return;
  EXPECT_TRUE(windows.create("second", content, events) == nullptr);
  content.port = port.get();
  HWND window = FindWindowA("gint", nullptr);
  EXPECT_TRUE(window != nullptr);
  if (window == nullptr) return;
  EXPECT_TRUE(port->exists());
  EXPECT_TRUE((GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0);
  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, display::ContentWidth);
  EXPECT_EQ(client.bottom, display::ContentHeight);
  SIZE full = outerSize(window);

  port->setTitle("b.mid < \xE6\x97\xA5\xE6\x9C\xAC.mid (3/5)");
  wchar_t title[64] = {};
  // Read as stored: an ANSI window's own text messages would pass it through the code page.
  DefWindowProcW(window, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(title));
  EXPECT_TRUE(std::wstring(title) == L"b.mid < \u65E5\u672C.mid (3/5)");

  display::present(content, 0, display::ContentHeight - 1);
  pumpFor(*port, 300);
  port->releaseTopmost();
  EXPECT_TRUE((GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) == 0);
  EXPECT_TRUE(pixelAt(window, 10, 70) == stripColour(10, 70));
  EXPECT_TRUE(pixelAt(window, 0, 0) == display::Black);

  // A lit note cell shows over the idle grid; a repaint of its rows from the content clears it.
  content.cells.set(0, 10, true);
  pumpFor(*port, 50);
  EXPECT_TRUE(pixelAt(window, display::cellLeft(10), 1) == display::litCellColour(10));
  display::present(content, 0, display::GridBottom);
  EXPECT_TRUE(pixelAt(window, display::cellLeft(10), 1) == display::idleCellColour(10));
  EXPECT_TRUE(!content.cells.lit(0, 10));

  keysAndButtons(window, events);
  sizeSnapAndScroll(window, *port, full);

  if (const char* shot = std::getenv("TESSARO_SMOKE_HOLD_MS"))
    pumpFor(*port, std::atoi(shot));  // time for a screenshot

  SendMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(!port->exists());
  EXPECT_EQ(events.closes, 1);
  EXPECT_TRUE(FindWindowA("gint", nullptr) == nullptr);
  port->pump();
  port->setTitle("after");
  display::present(content, 0, 10);
  port.reset();

  // The class is gone with the window: a later window can be made again. One the system
  // destroys is closed all the same, once.
  auto again = windows.create("again", content, events);
  EXPECT_TRUE(again != nullptr);
  if (again == nullptr) return;
  DestroyWindow(FindWindowA("gint", nullptr));
  EXPECT_TRUE(!again->exists());
  EXPECT_EQ(events.closes, 2);
  again->pump();
  again.reset();
  EXPECT_EQ(events.closes, 2);
  auto third = windows.create("third", content, events);
  EXPECT_TRUE(third != nullptr && third->exists());
}

}  // namespace

int main() {
  dialogErrorLines();
  sizingEdgesAndCharacters();
  windowRun();
  oversizedContent();
  std::printf(failures == 0 ? "win32 window smoke: all checks passed\n"
                            : "win32 window smoke: %d checks failed\n",
              failures);
  return failures == 0 ? 0 : 1;
}
