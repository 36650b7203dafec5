// Program entry on Linux: the POSIX services, the status window on FLTK, the console output,
// and the run.
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
  tessaro::App app(services, log);
  return tessaro::runProgram(app, words);
}
