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

#include "display/key_codes.h"
#include "display/scroll.h"

namespace tessaro::platform::fltk {

namespace {

// A pause this long in resize events ends a user resize (X11 reports no end of it).
constexpr double resizeSettleSeconds = 0.4;

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

Rgb rgbOf(Fl_Color colour) {
  uchar r = 0, g = 0, b = 0;
  Fl::get_color(colour, r, g, b);
  return {r, g, b};
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
  FileChoice chooseMidiFile() override;
  Rgb menuColour() override { return rgbOf(FL_BACKGROUND_COLOR); }
  Rgb grayTextColour() override { return rgbOf(FL_INACTIVE_COLOR); }

  void draw();
  int handle(int event);
  void resized(int w, int h);

 private:
  int clientWidth() const { return window_->w() - (bars_.vertical ? barSize_ : 0); }
  int clientHeight() const { return window_->h() - (bars_.horizontal ? barSize_ : 0); }
  void layOut();
  void snap();
  void scrolled(bool horizontal);
  int mouse(int event);
  int keyDown();
  void close();
  static void settled(void* self) { static_cast<FltkStatusWindow*>(self)->snap(); }

  WindowContent& content_;
  WindowEvents& events_;
  std::unique_ptr<ContentWindow> window_;
  Fl_Scrollbar* hBar_ = nullptr;  // children of the window
  Fl_Scrollbar* vBar_ = nullptr;
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
  hBar_ = new Fl_Scrollbar(0, 0, 1, 1);
  hBar_->type(FL_HORIZONTAL);
  vBar_ = new Fl_Scrollbar(0, 0, 1, 1);
  for (Fl_Scrollbar* bar : {hBar_, vBar_}) {
    bar->clear_visible_focus();
    bar->when(FL_WHEN_RELEASE);
    bar->linesize(1);
    bar->hide();
    bar->callback(
        [](Fl_Widget* w, void* self) {
          static_cast<FltkStatusWindow*>(self)->scrolled(w->type() == FL_HORIZONTAL);
        },
        this);
  }
  window_->end();
  window_->size_range(2 * barSize_, 2 * barSize_, geometry_.fullWidthWithBar,
                      geometry_.fullHeightWithBar);
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
  hBar_->value(scroll_.hPos, cw, 0, std::max(content_.contentWidth(), cw));
  vBar_->value(scroll_.vPos, ch, 0, std::max(content_.contentHeight(), ch));
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

void FltkStatusWindow::snap() {
  if (!open_) return;
  display::Size size = display::snapSize(scroll_, geometry_, window_->w(), window_->h());
  snapping_ = true;
  if (size.width != window_->w() || size.height != window_->h())
    window_->size(size.width, size.height);
  snapping_ = false;
  layOut();
  keepAbove(window_.get(), false);
}

void FltkStatusWindow::scrolled(bool horizontal) {
  Fl_Scrollbar* bar = horizontal ? hBar_ : vBar_;
  if (display::scrollBar(scroll_, horizontal, display::ScrollCode::thumbPosition, bar->value()))
    window_->damage(FL_DAMAGE_ALL);
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
    case FL_DND_ENTER:
    case FL_DND_DRAG:
    case FL_DND_LEAVE:
    case FL_DND_RELEASE:
      return 1;
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
    case FL_RELEASE:
    case FL_DRAG:
      return mouse(event);
    case FL_PASTE:
      events_.dropped(droppedPaths(std::string(Fl::event_text(), Fl::event_length())));
      return 1;
    case FL_SHOW:
    case FL_HIDE:
      display::minimizedOrRestored(scroll_);
      return -1;
    default:
      return -1;
  }
}

FileChoice FltkStatusWindow::chooseMidiFile() {
  Fl_Native_File_Chooser chooser(Fl_Native_File_Chooser::BROWSE_FILE);
  chooser.title("Open MIDI File");
  chooser.filter("MIDI Files  (*.mid)\t*.{mid,MID,Mid}\nAll Files  (*.*)\t*");
  chooserOpen_ = true;
  int result = chooser.show();
  chooserOpen_ = false;
  FileChoice choice;
  if (result == 0 && chooser.filename() != nullptr && *chooser.filename() != '\0') {
    choice.result = FileChoice::Result::chosen;
    choice.path = chooser.filename();
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
