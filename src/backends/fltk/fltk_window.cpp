#include "backends/fltk/fltk_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Scrollbar.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/fl_utf8.h>
#include <FL/x.H>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <system_error>

#include "display/key_codes.h"
#include "display/scroll.h"

namespace tessaro::platform::fltk {

namespace {

// A pause this long in resize events, with no mouse button held, ends a user resize (X11
// reports no end of it; a window manager holds the button for as long as its drag lasts).
constexpr double resizeSettleSeconds = 0.4;
// A scroll arrow or trough held down steps again after the first wait, then at each repeat.
constexpr double firstRepeatSeconds = 0.4;
constexpr double repeatSeconds = 0.05;
constexpr const char* windowClass = "tessaro";  // X class "Tessaro", instance "tessaro"

// Whether a mouse button is down anywhere on the screen.
bool buttonHeld() {
  Window root = 0, child = 0;
  int rootX = 0, rootY = 0, x = 0, y = 0;
  unsigned mask = 0;
  XQueryPointer(fl_display, DefaultRootWindow(fl_display), &root, &child, &rootX, &rootY, &x, &y,
                &mask);
  return (mask & (Button1Mask | Button2Mask | Button3Mask)) != 0;
}

// The window manager's "keep above" state, asked for through the root window.
void keepAbove(Fl_Window* window, bool above) {
  if (!window->shown()) return;
  Display* display = fl_display;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = fl_xid(window);
  event.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = above ? 1 : 0;
  event.xclient.data.l[1] = static_cast<long>(XInternAtom(display, "_NET_WM_STATE_ABOVE", False));
  event.xclient.data.l[3] = 1;
  XSendEvent(display, DefaultRootWindow(display), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XFlush(display);
}

// A path's directory with its final slash; empty when the path has none.
std::string directoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

Rgb rgbOf(Fl_Color colour) {
  uchar r = 0, g = 0, b = 0;
  Fl::get_color(colour, r, g, b);
  return {r, g, b};
}

// A scroll bar whose presses are the window's scroll commands: an arrow steps a line at once
// and again while it is held, the trough steps a page (again while held, until the thumb is
// under the pointer), and the thumb follows a drag and sets the position where it is let go.
// FLTK draws the bar from the range and the position the window gives it.
class StepBar : public Fl_Scrollbar {
 public:
  using Step = std::function<void(display::ScrollCode code, int thumb)>;
  StepBar(bool horizontal, Step step);
  ~StepBar() override { Fl::remove_timeout(repeated, this); }
  int handle(int event) override;

 private:
  enum class Part { none, backArrow, forwardArrow, backTrough, forwardTrough, thumb };
  Part partAt(int x, int y) const;
  void stepFor(Part part);
  static void repeated(void* self);

  Step step_;
  Part held_ = Part::none;
  int pointerX_ = 0, pointerY_ = 0;
};

StepBar::StepBar(bool horizontal, Step step) : Fl_Scrollbar(0, 0, 1, 1), step_(std::move(step)) {
  type(horizontal ? FL_HORIZONTAL : FL_VERTICAL);
  clear_visible_focus();
  when(FL_WHEN_NEVER);  // the position reaches the window through step_, never a callback
  hide();
}

// The parts as FLTK lays the bar out: square arrows at both ends (when the bar is at least
// three times as long as it is thick), the thumb sized and placed from the range.
StepBar::Part StepBar::partAt(int x, int y) const {
  bool horizontal = type() == FL_HORIZONTAL;
  int start = horizontal ? this->x() : this->y();
  int length = horizontal ? w() : h();
  int thickness = horizontal ? h() : w();
  int along = horizontal ? x : y;
  if (length >= 3 * thickness) {
    if (along < start + thickness) return Part::backArrow;
    if (along >= start + length - thickness) return Part::forwardArrow;
    start += thickness;
    length -= 2 * thickness;
  }
  int thumbLength = std::max(static_cast<int>(slider_size() * length + .5), thickness / 2 + 1);
  double range = maximum() - minimum();
  double fraction = range != 0 ? std::clamp((value() - minimum()) / range, 0.0, 1.0) : 0.5;
  int thumbStart = start + static_cast<int>(fraction * (length - thumbLength) + .5);
  if (along < thumbStart) return Part::backTrough;
  if (along >= thumbStart + thumbLength) return Part::forwardTrough;
  return Part::thumb;
}

void StepBar::stepFor(Part part) {
  switch (part) {
    case Part::backArrow:
      return step_(display::ScrollCode::lineBack, 0);
    case Part::forwardArrow:
      return step_(display::ScrollCode::lineForward, 0);
    case Part::backTrough:
      return step_(display::ScrollCode::pageBack, 0);
    case Part::forwardTrough:
      return step_(display::ScrollCode::pageForward, 0);
    default:
      return;
  }
}

// Held down: one more step while the pointer is still over the part first pressed.
void StepBar::repeated(void* self) {
  auto* bar = static_cast<StepBar*>(self);
  if (bar->held_ == Part::none || bar->held_ == Part::thumb) return;
  if (bar->partAt(bar->pointerX_, bar->pointerY_) == bar->held_) bar->stepFor(bar->held_);
  Fl::repeat_timeout(repeatSeconds, repeated, self);
}

int StepBar::handle(int event) {
  switch (event) {
    case FL_PUSH:
      if (Fl::event_button() != FL_LEFT_MOUSE || held_ != Part::none) return 1;
      pointerX_ = Fl::event_x();
      pointerY_ = Fl::event_y();
      held_ = partAt(pointerX_, pointerY_);
      if (held_ == Part::thumb) return Fl_Scrollbar::handle(event);
      stepFor(held_);
      Fl::add_timeout(firstRepeatSeconds, repeated, this);
      return 1;
    case FL_DRAG:
      pointerX_ = Fl::event_x();
      pointerY_ = Fl::event_y();
      return held_ == Part::thumb ? Fl_Scrollbar::handle(event) : 1;
    case FL_RELEASE: {
      if (Fl::event_button() != FL_LEFT_MOUSE) return 1;
      Part was = held_;
      held_ = Part::none;
      Fl::remove_timeout(repeated, this);
      if (was != Part::thumb) return 1;
      Fl_Scrollbar::handle(event);
      step_(display::ScrollCode::thumbPosition, value());
      return 1;
    }
    case FL_MOUSEWHEEL:
      return 0;  // the window's wheel moves the play list
    default:
      return Fl_Scrollbar::handle(event);
  }
}

class FltkStatusWindow;

// The FLTK window: draws the content and hands events to its owner.
class ContentWindow : public Fl_Window {
 public:
  ContentWindow(FltkStatusWindow& owner, int w, int h, const char* title)
      : Fl_Window(w, h, title), owner_(owner) {}
  void draw() override;
  int handle(int event) override;
  void resize(int x, int y, int w, int h) override;
  void drawScrollBars() { draw_children(); }

 private:
  FltkStatusWindow& owner_;
};

class FltkStatusWindow : public StatusWindowPort {
 public:
  FltkStatusWindow(const std::string& title, WindowContent& content, WindowEvents& events);
  ~FltkStatusWindow() override;

  bool exists() override { return open_; }
  void setTitle(const std::string& title) override { window_->copy_label(title.c_str()); }
  void showRows(int y1, int y2) override;
  void pump() override;
  void releaseTopmost() override { keepAbove(window_.get(), false); }
  FileChoice chooseMidiFile(const std::string& startDirectory) override;
  Rgb menuColour() override { return rgbOf(FL_BACKGROUND_COLOR); }
  Rgb grayTextColour() override { return rgbOf(FL_INACTIVE_COLOR); }

  void draw();
  int handle(int event);
  void resized(int w, int h);

 private:
  int clientWidth() const { return window_->w() - (bars_.vertical ? barSize_ : 0); }
  int clientHeight() const { return window_->h() - (bars_.horizontal ? barSize_ : 0); }
  void layOut();
  void showPositions();
  void limitSize(bool openForSnap);
  void snap();
  void settle();
  void scrolled(bool horizontal, display::ScrollCode code, int thumb);
  int mouse(int event);
  int keyDown();
  void close();
  static void settled(void* self) { static_cast<FltkStatusWindow*>(self)->settle(); }

  WindowContent& content_;
  WindowEvents& events_;
  std::unique_ptr<ContentWindow> window_;
  StepBar* hBar_ = nullptr;  // children of the window
  StepBar* vBar_ = nullptr;
  std::string chooserDirectory_;  // where the last file chosen or dropped lies
  display::WindowGeometry geometry_;
  display::ScrollState scroll_;
  display::BarsShown bars_;
  int barSize_ = Fl::scrollbar_size();
  int lastW_ = 0, lastH_ = 0;
  bool open_ = true;
  bool snapping_ = false;
  bool chooserOpen_ = false;
  bool pushedInClient_ = false;
  bool shiftDown_ = false, ctrlDown_ = false;
};

void ContentWindow::draw() {
  owner_.draw();
}
int ContentWindow::handle(int event) {
  int handled = owner_.handle(event);
  return handled >= 0 ? handled : Fl_Window::handle(event);
}
void ContentWindow::resize(int x, int y, int w, int h) {
  bool changed = w != this->w() || h != this->h();
  Fl_Window::resize(x, y, w, h);
  if (changed) owner_.resized(w, h);
}

FltkStatusWindow::FltkStatusWindow(const std::string& title, WindowContent& content,
                                   WindowEvents& events)
    : content_(content), events_(events) {
  int wx = 0, wy = 0, ww = 0, wh = 0;
  Fl::screen_work_area(wx, wy, ww, wh);
  geometry_ = display::windowGeometry(content.contentWidth(), content.contentHeight(), 0, 0, 0,
                                      barSize_, barSize_, ww, wh);
  window_ =
      std::make_unique<ContentWindow>(*this, geometry_.fullWidth, geometry_.fullHeight, nullptr);
  window_->copy_label(title.c_str());
  window_->xclass(windowClass);
  hBar_ = new StepBar(true,
                      [this](display::ScrollCode code, int thumb) { scrolled(true, code, thumb); });
  vBar_ = new StepBar(
      false, [this](display::ScrollCode code, int thumb) { scrolled(false, code, thumb); });
  // Sized by the program too: without a resizable part FLTK would pin the size range to every
  // size the program sets.
  window_->resizable(window_.get());
  window_->end();
  limitSize(false);
  if (geometry_.clamped) window_->position(wx, wy);
  window_->callback(
      [](Fl_Widget*, void* self) {
        // Escape is a key of the program, not a request to close.
        if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
        static_cast<FltkStatusWindow*>(self)->close();
      },
      this);
  lastW_ = geometry_.fullWidth;
  lastH_ = geometry_.fullHeight;
  window_->show();
  Fl::check();
  keepAbove(window_.get(), true);
}

FltkStatusWindow::~FltkStatusWindow() {
  Fl::remove_timeout(settled, this);
  window_->hide();
  window_.reset();
  Fl::check();
}

void FltkStatusWindow::close() {
  Fl::remove_timeout(settled, this);
  window_->hide();
  open_ = false;
  events_.closed();
}

void FltkStatusWindow::showRows(int y1, int y2) {
  if (!open_ || y2 < y1) return;
  window_->damage(FL_DAMAGE_ALL);
  Fl::flush();
}

void FltkStatusWindow::pump() {
  if (!open_) return;
  if (content_.takeCellChange()) window_->damage(FL_DAMAGE_USER1);
  Fl::check();
}

void FltkStatusWindow::draw() {
  if (window_->damage() & FL_DAMAGE_EXPOSE) content_.rowsShown(0, content_.contentHeight() - 1);
  int cw = clientWidth(), ch = clientHeight();
  int bw = content_.contentWidth(), bh = content_.contentHeight();
  int showW = std::clamp(bw - scroll_.hPos, 0, cw);
  int showH = std::clamp(bh - scroll_.vPos, 0, ch);
  fl_push_clip(0, 0, cw, ch);
  if (showW > 0 && showH > 0) {
    const uchar* origin = content_.pixels() + (scroll_.vPos * bw + scroll_.hPos) * 3;
    fl_draw_image(origin, 0, 0, showW, showH, 3, bw * 3);
  }
  fl_rectf(showW, 0, cw - showW, ch, FL_BLACK);
  fl_rectf(0, showH, showW, ch - showH, FL_BLACK);
  content_.forEachLitCell([&](int x, int y, int w, int h, Rgb c) {
    fl_rectf(x - scroll_.hPos, y - scroll_.vPos, w, h, c.r, c.g, c.b);
  });
  fl_pop_clip();
  if (bars_.horizontal && bars_.vertical) fl_rectf(cw, ch, barSize_, barSize_, FL_BACKGROUND_COLOR);
  window_->drawScrollBars();
}

// Recomputes the ranges for the present size; showing or hiding a bar changes the client
// area, so this repeats until the bars stay as they are.
void FltkStatusWindow::layOut() {
  for (int round = 0; round < 3; ++round) {
    display::BarsShown shown =
        display::clientResized(scroll_, geometry_, clientWidth(), clientHeight());
    bool same = shown == bars_;
    bars_ = shown;
    if (same) break;
  }
  int cw = clientWidth(), ch = clientHeight();
  hBar_->resize(0, ch, cw, barSize_);
  vBar_->resize(cw, 0, barSize_, ch);
  showPositions();
  if (bars_.horizontal)
    hBar_->show();
  else
    hBar_->hide();
  if (bars_.vertical)
    vBar_->show();
  else
    vBar_->hide();
  window_->redraw();
}

// The thumbs: as long as the client is to the content, at the scroll position.
void FltkStatusWindow::showPositions() {
  int cw = clientWidth(), ch = clientHeight();
  hBar_->value(scroll_.hPos, cw, 0, std::max(content_.contentWidth(), cw));
  vBar_->value(scroll_.vPos, ch, 0, std::max(content_.contentHeight(), ch));
}

// The sizes a user can give the window: down to room for the two bars, up to the full size,
// and a bar's thickness more in the direction that has to make room for the other direction's
// bar. Maximized, the window therefore takes the full size. While the program sets a size
// itself the limit is open to both bars, so that no window manager holds the snap back.
void FltkStatusWindow::limitSize(bool openForSnap) {
  int maxW = openForSnap || bars_.vertical ? geometry_.fullWidthWithBar : geometry_.fullWidth;
  int maxH = openForSnap || bars_.horizontal ? geometry_.fullHeightWithBar : geometry_.fullHeight;
  window_->size_range(2 * barSize_, 2 * barSize_, maxW, maxH);
}

void FltkStatusWindow::resized(int w, int h) {
  if (!snapping_) {
    display::sizingEdges(scroll_, w != lastW_, h != lastH_);
    Fl::remove_timeout(settled, this);
    Fl::add_timeout(resizeSettleSeconds, settled, this);
  }
  lastW_ = w;
  lastH_ = h;
  layOut();
}

// The resize events paused: the resize is over unless a button still holds the drag.
void FltkStatusWindow::settle() {
  if (open_ && buttonHeld())
    Fl::add_timeout(resizeSettleSeconds, settled, this);
  else
    snap();
}

void FltkStatusWindow::snap() {
  if (!open_) return;
  display::Size size = display::snapSize(scroll_, geometry_, window_->w(), window_->h());
  if (size.width != window_->w() || size.height != window_->h()) {
    limitSize(true);
    snapping_ = true;
    window_->size(size.width, size.height);
    snapping_ = false;
  }
  layOut();
  limitSize(false);
  keepAbove(window_.get(), false);
}

void FltkStatusWindow::scrolled(bool horizontal, display::ScrollCode code, int thumb) {
  if (display::scrollBar(scroll_, horizontal, code, thumb)) window_->damage(FL_DAMAGE_ALL);
  showPositions();
}

int FltkStatusWindow::keyDown() {
  int key = Fl::event_key();
  if (key == FL_Shift_L || key == FL_Shift_R) shiftDown_ = true;
  if (key == FL_Control_L || key == FL_Control_R) ctrlDown_ = true;
  if (int vk = navigationVirtualKey(key); vk != 0) {
    events_.key(display::navigationCode(vk, shiftDown_, ctrlDown_));
    return 1;
  }
  const char* text = Fl::event_text();
  int length = Fl::event_length();
  if (length <= 0) return 1;
  int used = 0;
  unsigned point = fl_utf8decode(text, text + length, &used);
  if (Fl::event_state(FL_ALT)) {
    if (int code = display::altCode(static_cast<int>(point)); code != 0) events_.key(code);
    return 1;
  }
  if (int code = display::characterCode(point); code != 0) events_.key(code);
  return 1;
}

int FltkStatusWindow::mouse(int event) {
  int x = Fl::event_x(), y = Fl::event_y();
  bool inClient = x >= 0 && y >= 0 && x < clientWidth() && y < clientHeight();
  bool ctrl = Fl::event_state(FL_CTRL) != 0, shift = Fl::event_state(FL_SHIFT) != 0;
  if (event == FL_PUSH) {
    pushedInClient_ = inClient;
    if (!inClient) return -1;
    if (Fl::event_button() == FL_LEFT_MOUSE)
      events_.leftDown(x + scroll_.hPos, y + scroll_.vPos, ctrl, shift);
    if (Fl::event_button() == FL_RIGHT_MOUSE) events_.rightDown(ctrl, shift);
    return 1;
  }
  if (!pushedInClient_) return -1;
  if (event == FL_RELEASE && Fl::event_button() == FL_LEFT_MOUSE) events_.leftUp();
  return 1;
}

// 1 or 0 when handled here, -1 for FLTK's own handling.
int FltkStatusWindow::handle(int event) {
  bool input = event == FL_PUSH || event == FL_RELEASE || event == FL_DRAG || event == FL_KEYDOWN ||
               event == FL_MOUSEWHEEL || event == FL_PASTE;
  if (chooserOpen_ && input) return 1;  // the chooser is modal
  switch (event) {
    case FL_FOCUS:
    case FL_UNFOCUS:
    case FL_DND_LEAVE:
      return 1;
    case FL_DND_ENTER:
    case FL_DND_DRAG:
      if (chooserOpen_) return 0;
      // FLTK hands the drop and its text only to the widget it has recorded below the pointer.
      Fl::belowmouse(window_.get());
      return 1;
    case FL_DND_RELEASE:
      return chooserOpen_ ? 0 : 1;
    case FL_ENTER:
    case FL_MOVE:
      display::pointerMoved(scroll_);
      return event == FL_ENTER ? 1 : -1;
    case FL_KEYDOWN:
      return keyDown();
    case FL_KEYUP: {
      int key = Fl::event_key();
      if (key == FL_Shift_L || key == FL_Shift_R) shiftDown_ = false;
      if (key == FL_Control_L || key == FL_Control_R) ctrlDown_ = false;
      return 1;
    }
    case FL_MOUSEWHEEL:
      if (Fl::event_dy() != 0) events_.wheel(Fl::event_dy() < 0);
      return 1;
    case FL_PUSH:
      display::pointerMoved(scroll_);  // a press is a pointer event over the window too
      return mouse(event);
    case FL_RELEASE:
    case FL_DRAG:
      return mouse(event);
    case FL_PASTE: {
      std::vector<std::string> paths =
          droppedPaths(std::string(Fl::event_text(), Fl::event_length()));
      if (!paths.empty()) chooserDirectory_ = directoryOf(paths.back());
      events_.dropped(paths);
      return 1;
    }
    case FL_SHOW:
    case FL_HIDE:
      display::minimizedOrRestored(scroll_);
      return -1;
    default:
      return -1;
  }
}

// The chooser opens in the directory asked for (the song playing), else in that of the last
// file chosen or dropped, at first in the current directory, the one relative names of the play
// list are found in. It is FLTK's own: the GTK chooser writes its warnings to the console (a
// typed path, an unwritable list of recent files), and the console is the program's.
FileChoice FltkStatusWindow::chooseMidiFile(const std::string& startDirectory) {
  Fl::option(Fl::OPTION_FNFC_USES_GTK, false);
  Fl_Native_File_Chooser chooser(Fl_Native_File_Chooser::BROWSE_FILE);
  chooser.title("Open MIDI File");
  chooser.filter("MIDI Files \t*.mid\nAll Files \t*");  // names match in any case
  std::error_code error;
  std::string directory = startDirectory.empty() ? chooserDirectory_ : startDirectory;
  if (!directory.empty()) directory = std::filesystem::absolute(directory, error).string();
  if (directory.empty() || !std::filesystem::is_directory(directory, error))
    directory = std::filesystem::current_path(error).string();
  chooser.directory(directory.c_str());
  chooserOpen_ = true;
  int result = chooser.show();
  chooserOpen_ = false;
  FileChoice choice;
  if (result == 0 && chooser.filename() != nullptr && *chooser.filename() != '\0') {
    choice.result = FileChoice::Result::chosen;
    choice.path = chooser.filename();
    chooserDirectory_ = directoryOf(choice.path);
  } else if (result == 1) {
    choice.result = FileChoice::Result::cancelled;
  } else {
    choice.result = FileChoice::Result::failed;
    choice.error = chooser.errmsg() != nullptr ? chooser.errmsg() : "the file chooser failed";
  }
  return choice;
}

}  // namespace

std::unique_ptr<StatusWindowPort> FltkWindowSystem::create(const std::string& title,
                                                           WindowContent& content,
                                                           WindowEvents& events) {
  if (!displayOpen_) {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') return nullptr;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return nullptr;
    fl_open_display(display);
    Fl::visual(FL_RGB);
    displayOpen_ = true;
  }
  return std::make_unique<FltkStatusWindow>(title, content, events);
}

}  // namespace tessaro::platform::fltk
