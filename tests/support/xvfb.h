// A virtual X display for end-to-end runs of the window: Xvfb picks a free display number and
// is stopped when the object goes. Screenshots come from xwd, read as 24-bit pixels. Where the
// test is built with XTest, an XUser on the display plays the user and the window manager.
#pragma once

#if TESSARO_XTEST
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <poll.h>

#include <algorithm>
#include <initializer_list>
#endif

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern char** environ;

namespace tessaro::testing {

class VirtualDisplay {
 public:
  VirtualDisplay() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    // Xvfb writes the number to its standard output, which is the pipe.
    std::vector<std::string> args{"Xvfb", "-displayfd", "1",         "-screen",
                                  "0",    "800x600x24", "-nolisten", "tcp"};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    int error = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (error != 0) {
      pid_ = -1;
      close(fds[0]);
      return;
    }
    // Xvfb writes its display number once it accepts connections, then a newline in a write
    // of its own; the pipe must stay open for both or Xvfb gives up.
    std::string text;
    char c = 0;
    while (read(fds[0], &c, 1) == 1 && c != '\n') text += c;
    close(fds[0]);
    if (!text.empty()) name_ = ":" + text;
  }
  ~VirtualDisplay() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // ":N", empty when Xvfb could not be started.
  const std::string& name() const { return name_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

struct Pixel {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Pixel&) const = default;
};

struct Screenshot {
  int width = 0, height = 0;
  std::vector<Pixel> pixels;
  Pixel at(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

// The output of a shell command.
inline std::string commandOutput(const std::string& command) {
  std::string out;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

// An xwd dump of a 24/32-bit TrueColor window: big-endian header words, a colour table, then
// rows of 32-bit pixels in the byte order the header gives.
inline bool readXwd(const std::string& data, Screenshot& shot) {
  auto word = [&](size_t i) {
    if (data.size() < (i + 1) * 4) return 0u;
    const auto* p = reinterpret_cast<const unsigned char*>(data.data()) + i * 4;
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  };
  uint32_t headerSize = word(0), width = word(4), height = word(5), byteOrder = word(7),
           bitsPerPixel = word(11), bytesPerLine = word(12), colours = word(19);
  if (bitsPerPixel != 32 || width == 0 || height == 0) return false;
  size_t offset = headerSize + static_cast<size_t>(colours) * 12;
  if (data.size() < offset + static_cast<size_t>(bytesPerLine) * height) return false;
  shot.width = static_cast<int>(width);
  shot.height = static_cast<int>(height);
  shot.pixels.resize(static_cast<size_t>(width) * height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const auto* p =
          reinterpret_cast<const unsigned char*>(data.data()) + offset + y * bytesPerLine + x * 4;
      uint32_t v = byteOrder == 0 ? (p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24)
                                  : (uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3]);
      shot.pixels[y * width + x] = {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                                    static_cast<uint8_t>(v)};
    }
  }
  return true;
}

#if TESSARO_XTEST
// A client of the virtual display that stands in for the user and the window manager: it sizes
// and closes windows, moves the pointer and the left button through XTest, and drags files.
class XUser {
 public:
  explicit XUser(const std::string& display) : d_(XOpenDisplay(display.c_str())) {}
  ~XUser() {
    if (d_ != nullptr) XCloseDisplay(d_);
  }
  XUser(const XUser&) = delete;
  XUser& operator=(const XUser&) = delete;
  bool connected() const { return d_ != nullptr; }

  void resize(Window w, int width, int height) {
    XResizeWindow(d_, w, width, height);
    XSync(d_, False);
  }
  // The pointer to (x, y) of window w, or of the screen.
  void pointTo(int x, int y, Window w = 0) {
    Window child = 0;
    if (w != 0) XTranslateCoordinates(d_, w, DefaultRootWindow(d_), x, y, &x, &y, &child);
    XTestFakeMotionEvent(d_, -1, x, y, CurrentTime);
    XSync(d_, False);
  }
  void button(bool down) {
    XTestFakeButtonEvent(d_, 1, down ? True : False, CurrentTime);
    XSync(d_, False);
  }
  void close(Window w) { send(w, "WM_PROTOCOLS", {long(atom("WM_DELETE_WINDOW"))}); }

  // Drags text/uri-list text onto window w at (x, y) as a file manager does, through the X
  // drag-and-drop protocol: enter and position, then a drop or a leave. True when the window
  // accepted the position and, for a drop, took the text and finished.
  bool drag(Window w, int x, int y, const std::string& uris, bool drop) {
    Window source = XCreateSimpleWindow(d_, DefaultRootWindow(d_), 0, 0, 1, 1, 0, 0, 0), child;
    XSetSelectionOwner(d_, atom("XdndSelection"), source, CurrentTime);
    XTranslateCoordinates(d_, w, DefaultRootWindow(d_), x, y, &x, &y, &child);
    send(w, "XdndEnter",
         {long(source), 5L << 24, long(atom("x-special/gnome-icon-list")),
          long(atom("text/uri-list")), long(atom("UTF8_STRING"))});
    send(w, "XdndPosition", {long(source), 0, x << 16 | y, 0, long(atom("XdndActionCopy"))});
    bool done = false, accepted = false;
    for (int quiet = 0; !done && quiet < 100;) {  // up to ten seconds without an answer
      pollfd fd{ConnectionNumber(d_), POLLIN, 0};
      if (XPending(d_) == 0 && poll(&fd, 1, 100) <= 0 && ++quiet) continue;
      XEvent e;
      XNextEvent(d_, &e);
      if (e.type == SelectionRequest) {  // the window asks for the dropped text
        XSelectionRequestEvent& r = e.xselectionrequest;
        XChangeProperty(d_, r.requestor, r.property, r.target, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(uris.data()), int(uris.size()));
        XEvent reply{};
        reply.xselection = {SelectionNotify, 0,        True,       d_,    r.requestor,
                            r.selection,     r.target, r.property, r.time};
        XSendEvent(d_, r.requestor, False, 0, &reply);
      } else if (e.type == ClientMessage && e.xclient.message_type == atom("XdndStatus")) {
        accepted = (e.xclient.data.l[1] & 1) != 0;
        send(w, accepted && drop ? "XdndDrop" : "XdndLeave", {long(source), 0, 0});
        done = !accepted || !drop;
      } else if (e.type == ClientMessage) {
        done = e.xclient.message_type == atom("XdndFinished");
      }
    }
    XDestroyWindow(d_, source);
    XSync(d_, False);
    return done && accepted;
  }

 private:
  Atom atom(const char* name) { return XInternAtom(d_, name, False); }
  void send(Window w, const char* type, std::initializer_list<long> data) {
    XEvent e{};
    e.xclient = {ClientMessage, 0, True, d_, w, atom(type), 32, {}};
    std::copy(data.begin(), data.end(), e.xclient.data.l);
    XSendEvent(d_, w, False, NoEventMask, &e);
    XSync(d_, False);
  }

  Display* d_;
};
#endif

}  // namespace tessaro::testing
