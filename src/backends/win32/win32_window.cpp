#include "backends/win32/win32_window.h"

// clang-format off
#include <windows.h>
#include <windowsx.h>
#include <commdlg.h>
#include <shellapi.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "backends/win32/win32_glyphs.h"
#include "display/key_codes.h"
#include "display/scroll.h"

namespace tessaro::platform::win32 {

namespace {

constexpr char className[] = "gint";
constexpr DWORD windowStyle = WS_OVERLAPPEDWINDOW | WS_VSCROLL | WS_HSCROLL;
constexpr WORD iconResource = 128;
constexpr DWORD pathBufferSize = 260;
// One pump handles at most this many messages, so that it returns even under a flood.
constexpr int messagesPerPump = 512;
// The low four bits of a system command are the system's own.
constexpr WPARAM systemCommandMask = 0xFFF0;

Rgb rgbOf(COLORREF colour) {
  return {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
}

display::ScrollCode scrollCodeOf(WORD code) {
  switch (code) {
    case SB_LINEUP:
      return display::ScrollCode::lineBack;
    case SB_LINEDOWN:
      return display::ScrollCode::lineForward;
    case SB_PAGEUP:
      return display::ScrollCode::pageBack;
    case SB_PAGEDOWN:
      return display::ScrollCode::pageForward;
    case SB_THUMBPOSITION:
      return display::ScrollCode::thumbPosition;
    default:
      return display::ScrollCode::other;
  }
}

class Win32StatusWindow : public StatusWindowPort {
 public:
  Win32StatusWindow(WindowContent& content, WindowEvents& events)
      : content_(content), events_(events) {}
  ~Win32StatusWindow() override { tearDown(); }
  Win32StatusWindow(const Win32StatusWindow&) = delete;
  Win32StatusWindow& operator=(const Win32StatusWindow&) = delete;

  // Registers the class, creates and shows the window; false when any step fails.
  bool open(const std::string& title);

  bool exists() override { return window_ != nullptr; }
  void setTitle(const std::string& title) override;
  void showRows(int y1, int y2) override;
  void pump() override;
  void releaseTopmost() override;
  FileChoice chooseMidiFile(const std::string& startDirectory) override;
  Rgb menuColour() override { return menuColour_; }
  Rgb grayTextColour() override { return grayTextColour_; }

  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  // 0 when consumed; otherwise the message goes on to the default processing.
  bool handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  bool handleInput(UINT message, WPARAM wParam, LPARAM lParam);
  void measure();
  bool makeSurface();
  void tearDown();
  void releaseSurface();
  void close();
  void destroyed();
  void paint();
  void copyToWindow(HDC dc, const RECT& area);
  void compose(int y1, int y2);
  void layOut();
  void showBar(int bar, bool shown, int position, int contentSize, int clientSize);
  void snap();
  void scrolled(bool horizontal, WPARAM wParam);
  bool keyDown(WPARAM virtualKey);
  void keyUp(WPARAM virtualKey);
  void dropped(HDROP drop);

  WindowContent& content_;
  WindowEvents& events_;
  HINSTANCE instance_ = GetModuleHandleA(nullptr);
  HWND window_ = nullptr;
  bool registered_ = false;
  HDC surface_ = nullptr;  // memory surface holding the shown frame
  HBITMAP frame_ = nullptr;
  HGDIOBJ firstBitmap_ = nullptr;
  uint32_t* frameBits_ = nullptr;  // BGRX, content width x content height, top-down
  Rgb menuColour_, grayTextColour_;
  display::WindowGeometry geometry_;
  display::ScrollState scroll_;
  int workLeft_ = 0, workTop_ = 0;
  bool layingOut_ = false, layOutAgain_ = false;
  bool leftHeld_ = false;
  bool shiftDown_ = false, ctrlDown_ = false;
  AnsiCharDecoder characters_;
};

bool Win32StatusWindow::open(const std::string& title) {
  menuColour_ = rgbOf(GetSysColor(COLOR_MENU));
  grayTextColour_ = rgbOf(GetSysColor(COLOR_GRAYTEXT));
  if (content_.contentWidth() <= 0 || content_.contentHeight() <= 0) return false;
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance_;
  windowClass.hIcon = LoadIconA(instance_, MAKEINTRESOURCEA(iconResource));
  if (windowClass.hIcon == nullptr) windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = className;
  if (RegisterClassA(&windowClass) == 0) return false;
  registered_ = true;
  measure();
  int x = geometry_.clamped ? workLeft_ : CW_USEDEFAULT;
  int y = geometry_.clamped ? workTop_ : CW_USEDEFAULT;
  window_ = CreateWindowExA(WS_EX_TOPMOST, className, "", windowStyle, x, y, geometry_.fullWidth,
                            geometry_.fullHeight, nullptr, nullptr, instance_, this);
  if (window_ == nullptr || !makeSurface()) return false;
  setTitle(title);
  ShowWindow(window_, SW_SHOWDEFAULT);
  DragAcceptFiles(window_, TRUE);
  return true;
}

// The outer sizes that show exactly the content, clamped to the work area.
void Win32StatusWindow::measure() {
  RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  workLeft_ = work.left;
  workTop_ = work.top;
  int width = content_.contentWidth(), height = content_.contentHeight();
  RECT outer{0, 0, width, height};
  AdjustWindowRectEx(&outer, windowStyle, FALSE, 0);
  geometry_ = display::windowGeometry(
      width, height, (outer.right - outer.left) - width, (outer.bottom - outer.top) - height,
      GetSystemMetrics(SM_CYCAPTION), GetSystemMetrics(SM_CXVSCROLL),
      GetSystemMetrics(SM_CYHSCROLL), work.right - work.left, work.bottom - work.top);
}

bool Win32StatusWindow::makeSurface() {
  HDC windowDc = GetDC(window_);
  if (windowDc == nullptr) return false;
  surface_ = CreateCompatibleDC(windowDc);
  ReleaseDC(window_, windowDc);
  if (surface_ == nullptr) return false;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = content_.contentWidth();
  info.bmiHeader.biHeight = -content_.contentHeight();  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  frame_ = CreateDIBSection(surface_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (frame_ == nullptr || bits == nullptr) return false;
  frameBits_ = static_cast<uint32_t*>(bits);
  firstBitmap_ = SelectObject(surface_, frame_);
  return true;
}

void Win32StatusWindow::tearDown() {
  if (window_ != nullptr) {
    HWND window = window_;
    window_ = nullptr;  // the messages of the destruction find no window to serve
    DragAcceptFiles(window, FALSE);
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
  }
  releaseSurface();
  // Fails while a window of the class still exists; the destructor tries again.
  if (registered_ && UnregisterClassA(className, instance_)) registered_ = false;
}

void Win32StatusWindow::releaseSurface() {
  if (surface_ != nullptr) {
    if (firstBitmap_ != nullptr) SelectObject(surface_, firstBitmap_);
    DeleteDC(surface_);
    surface_ = nullptr;
  }
  if (frame_ != nullptr) {
    DeleteObject(frame_);
    frame_ = nullptr;
    frameBits_ = nullptr;
  }
}

// The user closed the window.
void Win32StatusWindow::close() {
  if (window_ == nullptr) return;
  tearDown();
  events_.closed();
}

// The system destroys the window without being asked to by a close: it is gone all the same.
void Win32StatusWindow::destroyed() {
  SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
  window_ = nullptr;
  releaseSurface();
  events_.closed();
}

// Stored as wide text by the default processing itself: the ANSI window procedure would pass
// it through the ANSI code page, which has no room for names in other scripts.
void Win32StatusWindow::setTitle(const std::string& title) {
  if (window_ == nullptr) return;
  std::wstring wide = wideText(title);
  DefWindowProcW(window_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void Win32StatusWindow::releaseTopmost() {
  if (window_ != nullptr)
    SetWindowPos(window_, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void Win32StatusWindow::pump() {
  MSG message;
  for (int i = 0; i < messagesPerPump && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  // Lit note cells go straight onto the window, over the frame they belong to.
  if (window_ != nullptr && content_.takeCellChange()) {
    RECT client;
    GetClientRect(window_, &client);
    if (HDC dc = GetDC(window_); dc != nullptr) {
      copyToWindow(dc, client);
      ReleaseDC(window_, dc);
    }
  }
}

void Win32StatusWindow::showRows(int y1, int y2) {
  if (window_ == nullptr || y2 < y1) return;
  RECT client;
  GetClientRect(window_, &client);
  RECT rows{client.left, std::max<LONG>(y1 - scroll_.vPos, client.top), client.right,
            std::min<LONG>(y2 + 1 - scroll_.vPos, client.bottom)};
  if (rows.bottom <= rows.top) return;
  if (HDC dc = GetDC(window_); dc != nullptr) {
    copyToWindow(dc, rows);
    ReleaseDC(window_, dc);
  }
}

// The system asks for a part of the window again: it is shown afresh from the content, so the
// note cells lit in its rows are dark until they are lit again.
void Win32StatusWindow::paint() {
  PAINTSTRUCT paintInfo;
  HDC dc = BeginPaint(window_, &paintInfo);
  if (dc == nullptr) return;
  const RECT& area = paintInfo.rcPaint;
  int first = std::max<int>(area.top + scroll_.vPos, 0);
  int last = std::min<int>(area.bottom - 1 + scroll_.vPos, content_.contentHeight() - 1);
  if (first <= last) content_.rowsShown(first, last);
  copyToWindow(dc, area);
  EndPaint(window_, &paintInfo);
}

// Client rectangle area shows the content from the scroll offset on, in one block copy; what
// lies beyond the content is black.
void Win32StatusWindow::copyToWindow(HDC dc, const RECT& area) {
  if (frameBits_ == nullptr) return;
  int width = content_.contentWidth(), height = content_.contentHeight();
  int left = std::max<int>(area.left + scroll_.hPos, 0);
  int top = std::max<int>(area.top + scroll_.vPos, 0);
  int right = std::min<int>(area.right + scroll_.hPos, width);
  int bottom = std::min<int>(area.bottom + scroll_.vPos, height);
  if (left < right && top < bottom) {
    compose(top, bottom - 1);
    BitBlt(dc, left - scroll_.hPos, top - scroll_.vPos, right - left, bottom - top, surface_, left,
           top, SRCCOPY);
  }
  auto black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  RECT beside{std::max<LONG>(width - scroll_.hPos, area.left), area.top, area.right, area.bottom};
  if (beside.left < beside.right && beside.top < beside.bottom) FillRect(dc, &beside, black);
  RECT below{area.left, std::max<LONG>(height - scroll_.vPos, area.top),
             std::min<LONG>(width - scroll_.hPos, area.right), area.bottom};
  if (below.left < below.right && below.top < below.bottom) FillRect(dc, &below, black);
}

// Content rows y1..y2 into the frame: the content's pixels with the lit note cells over them.
void Win32StatusWindow::compose(int y1, int y2) {
  GdiFlush();
  int width = content_.contentWidth();
  const uint8_t* pixels = content_.pixels();
  for (int y = y1; y <= y2; ++y) {
    const uint8_t* from = pixels + static_cast<size_t>(y) * static_cast<size_t>(width) * 3;
    uint32_t* to = frameBits_ + static_cast<size_t>(y) * static_cast<size_t>(width);
    for (int x = 0; x < width; ++x, from += 3)
      to[x] = (uint32_t{from[0]} << 16) | (uint32_t{from[1]} << 8) | from[2];
  }
  content_.forEachLitCell([&](int x, int y, int w, int h, Rgb c) {
    uint32_t colour = (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
    for (int row = std::max(y, y1); row < y + h && row <= y2; ++row) {
      for (int col = std::max(x, 0); col < x + w && col < width; ++col)
        frameBits_[static_cast<size_t>(row) * static_cast<size_t>(width) + col] = colour;
    }
  });
}

// Ranges and positions for the present client size. Showing or hiding a bar changes the client
// area and sends a size message of its own, so this repeats until the bars stay as they are.
void Win32StatusWindow::layOut() {
  if (layingOut_) {
    layOutAgain_ = true;
    return;
  }
  layingOut_ = true;
  for (int round = 0; round < 3 && window_ != nullptr; ++round) {
    layOutAgain_ = false;
    RECT client;
    GetClientRect(window_, &client);
    display::BarsShown shown =
        display::clientResized(scroll_, geometry_, client.right, client.bottom);
    showBar(SB_HORZ, shown.horizontal, scroll_.hPos, content_.contentWidth(), client.right);
    showBar(SB_VERT, shown.vertical, scroll_.vPos, content_.contentHeight(), client.bottom);
    if (!layOutAgain_) break;
  }
  layingOut_ = false;
}

// The thumb is as long as the client is to the content; its position runs 0..content-client.
void Win32StatusWindow::showBar(int bar, bool shown, int position, int contentSize,
                                int clientSize) {
  SCROLLINFO info{};
  info.cbSize = sizeof(info);
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  if (shown) {
    info.nMax = contentSize - 1;
    info.nPage = static_cast<UINT>(std::max(clientSize, 1));
    info.nPos = position;
  }
  SetScrollInfo(window_, bar, &info, TRUE);
  ShowScrollBar(window_, bar, shown ? TRUE : FALSE);
}

// End of a user move or resize: back to the content size in every dimension that fits, and out
// of the topmost band.
void Win32StatusWindow::snap() {
  RECT outer;
  GetWindowRect(window_, &outer);
  display::Size size =
      display::snapSize(scroll_, geometry_, outer.right - outer.left, outer.bottom - outer.top);
  SetWindowPos(window_, HWND_NOTOPMOST, 0, 0, size.width, size.height, SWP_NOMOVE);
  layOut();
  InvalidateRect(window_, nullptr, FALSE);
}

void Win32StatusWindow::scrolled(bool horizontal, WPARAM wParam) {
  int before = horizontal ? scroll_.hPos : scroll_.vPos;
  if (!display::scrollBar(scroll_, horizontal, scrollCodeOf(LOWORD(wParam)), HIWORD(wParam)))
    return;
  int after = horizontal ? scroll_.hPos : scroll_.vPos;
  ScrollWindow(window_, horizontal ? before - after : 0, horizontal ? 0 : before - after, nullptr,
               nullptr);
  SetScrollPos(window_, horizontal ? SB_HORZ : SB_VERT, after, TRUE);
}

// Navigation keys become their codes with the modifier prefix; true when the key was one.
bool Win32StatusWindow::keyDown(WPARAM virtualKey) {
  if (virtualKey == VK_SHIFT) shiftDown_ = true;
  if (virtualKey == VK_CONTROL) ctrlDown_ = true;
  int code = display::navigationCode(static_cast<int>(virtualKey), shiftDown_, ctrlDown_);
  if (code != 0) events_.key(code);
  return code != 0;
}

void Win32StatusWindow::keyUp(WPARAM virtualKey) {
  if (virtualKey == VK_SHIFT) shiftDown_ = false;
  if (virtualKey == VK_CONTROL) ctrlDown_ = false;
}

// Every dropped file's full path, however long: the cue refuses what it cannot hold.
void Win32StatusWindow::dropped(HDROP drop) {
  std::vector<std::string> paths;
  UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    UINT length = DragQueryFileA(drop, i, nullptr, 0);
    std::string path(std::max<UINT>(length + 1, pathBufferSize), '\0');
    UINT copied = DragQueryFileA(drop, i, path.data(), static_cast<UINT>(path.size()));
    path.resize(std::min<size_t>(copied, path.size()));
    if (!path.empty()) paths.push_back(std::move(path));
  }
  DragFinish(drop);
  events_.dropped(paths);
}

// Keys, wheel and mouse buttons; true when the message is consumed.
bool Win32StatusWindow::handleInput(UINT message, WPARAM wParam, LPARAM lParam) {
  bool ctrl = (wParam & MK_CONTROL) != 0, shift = (wParam & MK_SHIFT) != 0;
  switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      return keyDown(wParam);
    case WM_KEYUP:
    case WM_SYSKEYUP:
      keyUp(wParam);
      return false;
    case WM_CHAR:
      if (int code = display::characterCode(characters_.feed(static_cast<uint8_t>(wParam))))
        events_.key(code);
      return true;
    case WM_SYSCHAR:
      if (int code = display::altCode(static_cast<int>(wParam)); code != 0) events_.key(code);
      return false;  // the system still handles its Alt combination
    case WM_MOUSEWHEEL:
      if (short delta = GET_WHEEL_DELTA_WPARAM(wParam); delta != 0) events_.wheel(delta > 0);
      return true;
    case WM_LBUTTONDOWN:
      // Held until it is released, wherever the pointer goes meanwhile.
      leftHeld_ = true;
      SetCapture(window_);
      events_.leftDown(GET_X_LPARAM(lParam) + scroll_.hPos, GET_Y_LPARAM(lParam) + scroll_.vPos,
                       ctrl, shift);
      return true;
    case WM_LBUTTONUP:
      leftHeld_ = false;
      if (GetCapture() == window_) ReleaseCapture();
      events_.leftUp();
      return true;
    case WM_CAPTURECHANGED:
      // Another window took the pointer while the button was held: the press is over.
      if (leftHeld_) {
        leftHeld_ = false;
        events_.leftUp();
      }
      return true;
    case WM_RBUTTONDOWN:
      events_.rightDown(ctrl, shift);
      return true;
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
      return true;
    default:
      return false;
  }
}

bool Win32StatusWindow::handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  result = 0;
  switch (message) {
    case WM_CREATE:
      scroll_ = {};
      return false;
    case WM_PAINT:
      paint();
      return true;
    case WM_SYSCOMMAND:
      if ((wParam & systemCommandMask) == SC_MINIMIZE || (wParam & systemCommandMask) == SC_RESTORE)
        display::minimizedOrRestored(scroll_);
      return false;
    case WM_SIZING: {
      SizingDirections directions = sizingDirections(static_cast<unsigned>(wParam));
      display::sizingEdges(scroll_, directions.horizontal, directions.vertical);
      return false;
    }
    case WM_SIZE:
      layOut();
      return true;
    case WM_EXITSIZEMOVE:
      snap();
      return true;
    case WM_GETMINMAXINFO: {
      auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
      limits->ptMaxSize = {geometry_.fullWidth, geometry_.fullHeight};
      return true;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
      scrolled(message == WM_HSCROLL, wParam);
      return true;
    case WM_NCHITTEST:
      display::pointerMoved(scroll_);
      return false;
    case WM_CLOSE:
      close();
      return true;
    case WM_DESTROY:
      destroyed();
      return false;
    case WM_DROPFILES:
      dropped(reinterpret_cast<HDROP>(wParam));
      return true;
    default:
      return handleInput(message, wParam, lParam);
  }
}

LRESULT CALLBACK Win32StatusWindow::procedure(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    auto* self = static_cast<Win32StatusWindow*>(create->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Win32StatusWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  LRESULT result = 0;
  if (self != nullptr && self->window_ == window && self->handle(message, wParam, lParam, result))
    return result;
  return DefWindowProcA(window, message, wParam, lParam);
}

// The dialog keeps its own choice of directory (the last one it was used in).
FileChoice Win32StatusWindow::chooseMidiFile(const std::string& /*startDirectory*/) {
  FileChoice choice;
  char path[pathBufferSize] = {};
  OPENFILENAMEA request{};
  request.lStructSize = sizeof(request);
  request.hwndOwner = window_;
  request.lpstrFilter = "MIDI Files  (*.mid)\0*.MID\0All Files  (*.*)\0*.*\0";
  request.nFilterIndex = 0;
  request.lpstrFile = path;
  request.nMaxFile = pathBufferSize;
  request.lpstrTitle = "Open MIDI File";
  // The current directory stays: relative cue entries are still found after the dialog.
  request.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR;
  request.lpstrDefExt = "mid";
  if (GetOpenFileNameA(&request)) {
    choice.result = FileChoice::Result::chosen;
    choice.path = path;
    return choice;
  }
  DWORD code = CommDlgExtendedError();
  choice.result = code == 0 ? FileChoice::Result::cancelled : FileChoice::Result::failed;
  choice.error = openDialogErrorText(code);
  return choice;
}

}  // namespace

std::unique_ptr<StatusWindowPort> Win32WindowSystem::create(const std::string& title,
                                                            WindowContent& content,
                                                            WindowEvents& events) {
  auto window = std::make_unique<Win32StatusWindow>(content, events);
  if (!window->open(title)) return nullptr;
  return window;
}

std::string openDialogErrorText(unsigned long code) {
  switch (code) {
    case 0:
      return {};
    case CDERR_STRUCTSIZE:
      return "CDERR_STRUCTSIZE.";
    case CDERR_INITIALIZATION:
      return "CDERR_INITIALIZATION.";
    case CDERR_NOTEMPLATE:
      return "CDERR_NOTEMPLATE.";
    case CDERR_NOHINSTANCE:
      return "CDERR_NOHINSTANCE.";
    case CDERR_LOADSTRFAILURE:
      return "CDERR_LOADSTRFAILURE.";
    case CDERR_FINDRESFAILURE:
      return "CDERR_FINDRESFAILURE.";
    case CDERR_LOADRESFAILURE:
      return "CDERR_LOADRESFAILURE.";
    case CDERR_LOCKRESFAILURE:
      return "CDERR_LOCKRESFAILURE.";
    case CDERR_MEMALLOCFAILURE:
      return "CDERR_MEMALLOCFAILURE.";
    case CDERR_MEMLOCKFAILURE:
      return "CDERR_MEMLOCKFAILURE.";
    case CDERR_NOHOOK:
      return "CDERR_NOHOOK.";
    case FNERR_SUBCLASSFAILURE:
      return "FNERR_SUBCLASSFAILURE.";
    case FNERR_INVALIDFILENAME:
      return "FNERR_INVALIDFILENAME.";
    case FNERR_BUFFERTOOSMALL:
      return "FNERR_BUFFERTOOSMALL.";
    case CDERR_DIALOGFAILURE:
      return "CDERR_DIALOGFAILURE.";
    default: {
      char text[48];
      std::snprintf(text, sizeof(text), "Dialog error 0x%04lX.", code);
      return text;
    }
  }
}

SizingDirections sizingDirections(unsigned edge) {
  switch (edge) {
    case WMSZ_LEFT:
    case WMSZ_RIGHT:
      return {true, false};
    case WMSZ_TOP:
    case WMSZ_BOTTOM:
      return {false, true};
    case WMSZ_TOPLEFT:
    case WMSZ_TOPRIGHT:
    case WMSZ_BOTTOMLEFT:
    case WMSZ_BOTTOMRIGHT:
      return {true, true};
    default:
      return {};
  }
}

}  // namespace tessaro::platform::win32
