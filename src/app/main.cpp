// Program entry on Linux: the POSIX services, the status window on FLTK, the console output,
// and the run. A run stopped by Ctrl+C or SIGTERM ends by that signal once everything is
// released, so that a shell loop around the program stops too.
#include <string>
#include <vector>

#include "app/program.h"
#include "backends/fltk/fltk_window.h"
#include "backends/fonts/font_glyphs.h"
#include "backends/posix/posix_platform.h"

int main(int argc, char** argv) {
  tessaro::platform::posix::PosixPlatform platform;
  tessaro::platform::fltk::FltkWindowSystem windows;
  tessaro::platform::fonts::FontGlyphSource glyphs;
  tessaro::Log log(stdout);
  std::vector<std::string> words(argv, argv + argc);
  tessaro::platform::Services services = platform.services();
  services.windows = &windows;
  services.glyphs = &glyphs;
  int status = 0;
  {
    tessaro::App app(services, log);
    status = tessaro::runProgram(app, words);
  }
  platform.console.raiseStopSignal();
  return status;
}
